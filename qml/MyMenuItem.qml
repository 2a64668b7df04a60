import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

MenuItem {
    id: root
    implicitHeight: 32
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    contentItem: MyText {
        leftPadding: 8
        text: root.text
        font: root.font
        color: root.enabled ? TEXTCOLOR_MAIN : Theme.muted
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        color: root.highlighted ? Theme.accentLight : "transparent"
    }
}
