import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

Switch {
    id: root
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    indicator: Rectangle {
        x: root.leftPadding
        y: (root.height - height) / 2
        width: 36
        height: 20
        radius: 10
        color: root.checked ? Theme.accent : "#C9CFD8"
        Rectangle {
            x: root.checked ? parent.width - width - 2 : 2
            y: 2
            width: 16
            height: 16
            radius: 8
            color: "white"
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }
    contentItem: MyText {
        leftPadding: root.indicator.width + root.spacing
        text: root.text
        font: root.font
        verticalAlignment: Text.AlignVCenter
    }
}
