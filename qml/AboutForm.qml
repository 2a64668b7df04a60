import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme
import "Links.js" as Links

MyPopup {
    id: root
    objectName: "aboutForm"
    width: 420
    height: 230
    onClosed: destroy()

    Column {
        anchors.centerIn: parent
        spacing: 14

        Image {
            source: "qrc:/qrc/logo.svg"
            sourceSize: Qt.size(56, 56)
            anchors.horizontalCenter: parent.horizontalCenter
        }
        LinkButton {
            objectName: "aboutVersion"
            text: PROD_NAME + " v" + PROD_VER
            font.pixelSize: FONTSIZE_TITLE
            color: TEXTCOLOR_MAIN
            anchors.horizontalCenter: parent.horizontalCenter
            onClicked: Qt.openUrlExternally(Links.updatePage(UPDATE_ENDPOINT, PROD_UID, PROD_VERID))
        }
        LinkButton {
            text: "www.kalvinor.com"
            font.pixelSize: FONTSIZE_SUB
            anchors.horizontalCenter: parent.horizontalCenter
            onClicked: Qt.openUrlExternally(Links.webSite)
        }
    }

    WinCloseBtn {
        anchors.top: parent.top
        anchors.right: parent.right
        glyphColor: TEXTCOLOR_MAIN2
        onClicked: root.close()
    }
}
