import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

RadioButton {
    id: root
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    indicator: Rectangle {
        x: root.leftPadding
        y: (root.height - height) / 2
        width: 18
        height: 18
        radius: 9
        border.color: root.checked ? Theme.accent : Theme.border
        Rectangle {
            anchors.centerIn: parent
            width: 8
            height: 8
            radius: 4
            color: Theme.accent
            visible: root.checked
        }
    }
    contentItem: MyText {
        leftPadding: root.indicator.width + root.spacing
        text: root.text
        font: root.font
        verticalAlignment: Text.AlignVCenter
    }
}
