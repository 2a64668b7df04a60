import QtQuick 2.15
import QtQuick.Window 2.15
import "Theme.js" as Theme
import "Links.js" as Links

// Title bar: product name, version (opens the update page), the main menu and
// the window buttons. Dragging it moves the window.
Rectangle {
    id: root
    property var frame: null
    property var navUtil: null
    color: Theme.header

    MouseArea {
        anchors.fill: parent
        onPressed: if (root.frame) root.frame.startMove(this, mouse)
        onPositionChanged: if (pressed && root.frame) root.frame.dragTo(this, mouse)
        onReleased: if (root.frame) root.frame.endDrag()
        onDoubleClicked: if (root.frame) root.frame.toggleMaximized()
    }

    Row {
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8

        Image {
            source: "qrc:/qrc/logo.svg"
            sourceSize: Qt.size(18, 18)
            anchors.verticalCenter: parent.verticalCenter
        }
        MyText {
            objectName: "headerTitle"
            text: PROD_NAME
            color: "white"
            font.pixelSize: FONTSIZE_SUB
            font.bold: true
            anchors.verticalCenter: parent.verticalCenter
        }
        LinkButton {
            objectName: "headerVersion"
            text: "v" + PROD_VER
            color: "#B8C4D6"
            font.pixelSize: FONTSIZE_SUB2
            anchors.verticalCenter: parent.verticalCenter
            onClicked: Qt.openUrlExternally(Links.updatePage(UPDATE_ENDPOINT, PROD_UID, PROD_VERID))
        }
    }

    Row {
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom

        MyContextMenuBtn {
            id: menuBtn
            objectName: "headerMenu"
            height: parent.height
            glyphColor: "white"
            menu: MyContextMenu {
                MyMenuItem {
                    text: qsTr("Projects")
                    onTriggered: if (root.navUtil) root.navUtil.nav("Projects.qml", {})
                }
                MyMenuItem {
                    text: qsTr("Help")
                    onTriggered: Qt.openUrlExternally(Links.supportPage)
                }
                MyMenuItem {
                    objectName: "menuAbout"
                    text: qsTr("About")
                    onTriggered: root.showAbout()
                }
            }
        }
        WinControlBar {
            window: root.frame ? root.frame.window : null
            height: parent.height
        }
    }

    Component {
        id: aboutComponent
        AboutForm {}
    }

    function showAbout() {
        var form = aboutComponent.createObject(root.Window.window ? root.Window.window.contentItem : root)
        form.open()
        return form
    }
}
