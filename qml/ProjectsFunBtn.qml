import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// A flat text-and-icon button of the Projects page's tool row.
Button {
    id: root
    property url iconSource: ""

    focusPolicy: Qt.NoFocus
    padding: 5
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF

    contentItem: Row {
        spacing: 5
        Image {
            anchors.verticalCenter: parent.verticalCenter
            width: 15
            height: 15
            sourceSize: Qt.size(48, 48)
            mipmap: true
            source: root.iconSource
            opacity: root.enabled ? 1 : 0.4
        }
        MyText {
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            font: root.font
            color: root.enabled ? TEXTCOLOR_MAIN : Theme.muted
        }
    }
    background: Rectangle {
        radius: 3
        color: "transparent"
        border.color: root.hovered && root.enabled ? "#02BAFF" : "transparent"
    }
}
