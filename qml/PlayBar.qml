import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// Playback controls of the conversation row being played: backward, pause or
// resume, stop, forward and the speed. Backward and forward are the row's
// business (the row before or after); the rest drives the controller.
Rectangle {
    id: root
    objectName: "playBar"
    property var cp: prosmgr.cp
    signal backward()
    signal forward()

    // Drawn, not taken from a font: no installed font need have the glyphs.
    component SkipIcon: Canvas {
        property bool forward: true
        property color fill: "black"
        width: 14
        height: 12
        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            ctx.fillStyle = fill
            ctx.save()
            if (!forward) {
                ctx.translate(width, 0)
                ctx.scale(-1, 1)
            }
            ctx.beginPath()
            ctx.moveTo(0, 0)
            ctx.lineTo(10, height / 2)
            ctx.lineTo(0, height)
            ctx.closePath()
            ctx.fill()
            ctx.fillRect(width - 3, 0, 3, height)
            ctx.restore()
        }
    }

    implicitWidth: row.implicitWidth + 16
    implicitHeight: 36
    radius: 18
    color: Theme.accentLight

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 6

        ControlBarIconBtn {
            objectName: "playBackward"
            width: 28; height: 28
            tip: qsTr("Backward [F1]")
            onClicked: root.backward()
            SkipIcon { anchors.centerIn: parent; forward: false; fill: Theme.accent }
        }
        PlayBarBtn {
            objectName: "playPauseResume"
            playing: root.cp ? !root.cp.playPaused : false
            onClicked: root.togglePause()
            MyToolTip {
                visible: parent.hovered === true
                text: root.cp && root.cp.playPaused ? qsTr("Resume [F2]") : qsTr("Pause [F2]")
            }
        }
        ControlBarIconBtn {
            objectName: "playStop"
            width: 28; height: 28
            tip: qsTr("Stop [F3]")
            onClicked: if (root.cp) root.cp.playStop()
            Rectangle { anchors.centerIn: parent; width: 10; height: 10; color: Theme.accent }
        }
        ControlBarIconBtn {
            objectName: "playForward"
            width: 28; height: 28
            tip: qsTr("Forward [F4]")
            onClicked: root.forward()
            SkipIcon { anchors.centerIn: parent; forward: true; fill: Theme.accent }
        }
        ControlBarIconBtn {
            id: speedBtn
            objectName: "playSpeed"
            width: 44; height: 28
            MyText {
                anchors.centerIn: parent
                text: "%1x".arg(root.cp ? root.cp.speed : 1)
                color: Theme.accent
                font.pixelSize: FONTSIZE_SUB
            }
            onClicked: speedMenu.open()
            Popup {
                id: speedMenu
                objectName: "speedMenu"
                y: -height - 4
                padding: 4
                background: Rectangle { radius: 4; color: "white"; border.color: Theme.border }
                contentItem: Column {
                    spacing: 2
                    Repeater {
                        model: [0.5, 1, 1.5, 2]
                        SpeedSelBtn {
                            objectName: "speed" + modelData
                            text: modelData + "x"
                            selected: root.cp ? Math.abs(root.cp.speed - modelData) < 1e-6 : false
                            onClicked: {
                                if (root.cp)
                                    root.cp.speed = modelData
                                speedMenu.close()
                            }
                        }
                    }
                }
            }
        }
    }

    function togglePause() {
        if (!cp)
            return
        if (cp.playPaused)
            cp.playResume()
        else
            cp.playPause()
    }
}
