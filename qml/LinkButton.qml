import QtQuick 2.15
import "Theme.js" as Theme

// Text that reacts like a link.
MyText {
    id: root
    signal clicked()
    color: Theme.accent
    font.underline: area.containsMouse

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: root.clicked()
    }
}
