import QtQuick 2.15
import "Theme.js" as Theme

// One tile of the home page: icon, title, description.
Rectangle {
    id: root
    property alias icon: img.source
    property alias title: titleText.text
    property alias description: descText.text
    signal clicked()

    width: 230
    height: 250
    radius: 10
    color: area.containsMouse ? Theme.accentLight : "white"
    border.color: area.containsMouse ? Theme.accent : Theme.border
    border.width: 1

    Column {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        Rectangle {
            width: 72
            height: 72
            radius: 36
            color: Theme.accentLight
            anchors.horizontalCenter: parent.horizontalCenter
            Image {
                id: img
                anchors.centerIn: parent
                sourceSize: Qt.size(40, 40)
            }
        }
        MyText {
            id: titleText
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            font.pixelSize: FONTSIZE_TITLE
            font.bold: true
            color: TEXTCOLOR_MAIN
        }
        MyText {
            id: descText
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
    }

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: root.clicked()
    }
}
