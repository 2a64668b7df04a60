import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import "Theme.js" as Theme

// A wide strip on top of the other windows with the last lines of the live
// text; loaded on its own while the main window is hidden.
Window {
    id: root
    objectName: "dockHorizontal"
    property var cp: prosmgr.cp
    property var lines: []
    readonly property int maxLines: 3

    width: Math.min(Screen.width, 1100)
    height: 150
    x: Math.round((Screen.width - width) / 2)
    y: Screen.height - height - 60
    visible: true
    title: PROD_NAME
    flags: Qt.Window | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    color: "#F01E2A3A"

    onClosing: destroy()

    Connections {
        target: root.cp
        function onPartialResult(dev, html) {
            var parts = String(html).split("<br/>")
            root.lines = parts.slice(Math.max(0, parts.length - root.maxLines))
        }
        function onNewResult(spk, seg) {
            root.lines = []
            lastFinal.text = seg.html
        }
        function onStopped() {
            root.close()
            mainwin.show()
        }
    }

    MouseArea {
        anchors.fill: parent
        property point pressAt
        onPressed: pressAt = Qt.point(mouse.x, mouse.y)
        onPositionChanged: {
            root.x += mouse.x - pressAt.x
            root.y += mouse.y - pressAt.y
        }
    }

    Column {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 6

        Text {
            id: lastFinal
            objectName: "lastFinal"
            width: parent.width
            textFormat: Text.RichText
            elide: Text.ElideLeft
            color: "#B8C4D6"
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
        }
        Text {
            objectName: "partialLines"
            width: parent.width
            textFormat: Text.RichText
            wrapMode: Text.Wrap
            maximumLineCount: root.maxLines
            text: root.lines.join("<br/>")
            color: "white"
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE
        }
    }

    Rectangle {
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 8
        width: bar.implicitWidth + 16
        height: bar.implicitHeight + 8
        radius: Theme.radius
        color: "#F4F6F9"
        DockHorizontalControlBar {
            id: bar
            anchors.centerIn: parent
            dockWindow: root
            onFailed: toast.show(err)
        }
    }

    MyToast {
        id: toast
        duration: 2000
        bottomOffset: 40
    }
}
