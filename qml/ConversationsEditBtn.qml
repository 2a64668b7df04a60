import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// A flat tool button that never takes the keyboard focus, so the message
// editor keeps its selection while the button acts on it.
Button {
    id: root
    property int vPadding: 5
    property int hPadding: 5
    property url iconSource: ""

    focusPolicy: Qt.NoFocus
    topPadding: vPadding
    bottomPadding: vPadding
    leftPadding: hPadding
    rightPadding: hPadding
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_SUB

    contentItem: Row {
        spacing: 5
        Image {
            anchors.verticalCenter: parent.verticalCenter
            width: 13
            height: 13
            sourceSize: Qt.size(13, 13)
            source: root.iconSource
            visible: root.iconSource != ""
            opacity: root.enabled ? 1 : 0.4
        }
        MyText {
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            font: root.font
            color: root.enabled ? TEXTCOLOR_MAIN2 : Theme.muted
        }
    }
    background: Rectangle {
        radius: 3
        color: "transparent"
        border.color: root.hovered && root.enabled ? "#02BAFF" : "transparent"
    }
}
