import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// One speed of the playback bar's speed menu.
Button {
    id: root
    property bool selected: false
    implicitWidth: 64
    implicitHeight: 28
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_SUB
    contentItem: MyText {
        text: root.text
        font: root.font
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: root.selected ? Theme.accent : TEXTCOLOR_MAIN2
    }
    background: Rectangle {
        radius: 4
        color: root.selected ? Theme.accentLight : (root.hovered ? "#F2F5FA" : "transparent")
    }
}
