import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// One reply under a highlight or comment; rowIdx is the enclosing row.
Item {
    id: root
    property var reply: ({})
    property int rowIdx: -1
    property var commentModel: null

    width: parent ? parent.width : 200
    height: body.implicitHeight + 8

    HoverHandler { id: hover }

    MyText {
        id: body
        objectName: "replyText"
        anchors.left: parent.left
        anchors.right: menuBtn.left
        anchors.rightMargin: 4
        anchors.verticalCenter: parent.verticalCenter
        wrapMode: Text.Wrap
        font.pixelSize: FONTSIZE_SUB
        text: Qt.formatDateTime(new Date(Number(root.reply.dt) * 1000), "yyyy/MM/dd hh:mm:ss") + "\n" + root.reply.text
    }

    ToolButton {
        id: menuBtn
        objectName: "replyMenuBtn"
        anchors.right: parent.right
        anchors.top: parent.top
        width: 22
        height: 22
        visible: hover.hovered || menu.visible
        focusPolicy: Qt.NoFocus
        text: "\u22EE"
        onClicked: menu.popup()
    }

    MyContextMenu {
        id: menu
        MyMenuItem {
            text: qsTr("Delete")
            onTriggered: root.commentModel.removeReply(root.rowIdx, root.reply.id)
        }
    }
}
