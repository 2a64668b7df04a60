import QtQuick 2.15
import "Theme.js" as Theme

ControlBarIconBtn {
    id: root
    property color glyphColor: "white"
    hoverColor: Theme.danger

    Rectangle {
        anchors.centerIn: parent
        width: 12; height: 1.5
        rotation: 45
        color: root.hovered ? "white" : root.glyphColor
    }
    Rectangle {
        anchors.centerIn: parent
        width: 12; height: 1.5
        rotation: -45
        color: root.hovered ? "white" : root.glyphColor
    }
}
