import QtQuick 2.15

// A flat square button; its glyph is given as children.
Rectangle {
    id: root
    signal clicked()
    property color hoverColor: "#14000000"
    property alias hovered: area.containsMouse
    property string tip: ""
    width: 40
    height: 30
    color: area.pressed ? Qt.darker(hoverColor, 1.2) : (area.containsMouse ? hoverColor : "transparent")
    opacity: enabled ? 1 : 0.4

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.clicked()
    }
    MyToolTip {
        visible: root.tip !== "" && area.containsMouse
        text: root.tip
    }
}
