import QtQuick 2.15
import QtQuick.Controls 2.15

ToolTip {
    id: root
    delay: 500
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_SUB2
    contentItem: MyText {
        text: root.text
        font: root.font
        color: "white"
    }
    background: Rectangle { radius: 4; color: "#E61E2A3A" }
}
