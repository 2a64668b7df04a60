import QtQuick 2.15

// A button with three bars that opens its menu below itself.
ControlBarIconBtn {
    id: root
    property var menu: null
    property color glyphColor: TEXTCOLOR_MAIN2
    hoverColor: "#33FFFFFF"

    Column {
        anchors.centerIn: parent
        spacing: 3
        Repeater {
            model: 3
            Rectangle { width: 14; height: 2; radius: 1; color: root.glyphColor }
        }
    }
    onClicked: if (menu) menu.popup(root, 0, root.height)
}
