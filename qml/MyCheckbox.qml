import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

CheckBox {
    id: root
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    indicator: Rectangle {
        x: root.leftPadding
        y: (root.height - height) / 2
        width: 18
        height: 18
        radius: 3
        color: root.checked ? Theme.accent : "white"
        border.color: root.checked ? Theme.accent : Theme.border
        Text {
            anchors.centerIn: parent
            visible: root.checked
            text: "\u2713"
            color: "white"
            font.pixelSize: 13
            font.bold: true
        }
    }
    contentItem: MyText {
        leftPadding: root.indicator.width + root.spacing
        text: root.text
        font: root.font
        verticalAlignment: Text.AlignVCenter
    }
}
