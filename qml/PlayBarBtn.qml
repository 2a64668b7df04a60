import QtQuick 2.15
import "Theme.js" as Theme

// Round play / pause button of the playback bar.
Rectangle {
    id: root
    signal clicked()
    property bool playing: false
    property alias hovered: area.containsMouse
    width: 28
    height: 28
    radius: 14
    color: area.containsMouse ? Theme.accentDark : Theme.accent

    Canvas {
        anchors.fill: parent
        property bool playing: root.playing
        onPlayingChanged: requestPaint()
        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            ctx.fillStyle = "white"
            if (playing) {
                ctx.fillRect(9, 8, 3, 12)
                ctx.fillRect(16, 8, 3, 12)
            } else {
                ctx.beginPath()
                ctx.moveTo(11, 8)
                ctx.lineTo(20, 14)
                ctx.lineTo(11, 20)
                ctx.closePath()
                ctx.fill()
            }
        }
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.clicked()
    }
}
