import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// The right-hand pane: highlights and comments, newest first, with replies.
Rectangle {
    id: root
    objectName: "conversationTakeaways"
    property var commentModel: null

    // Raised by a click on an item: the conversation selects that segment
    // and shows it, or the highlight hlId (0 for a comment) in it.
    signal gotoSeg(var segId, var hlId)
    // The pane must be shown (an item was selected from outside).
    signal openRequested()

    color: "#FAFBFC"

    function gotoCItem(cid) {
        if (!commentModel)
            return
        var row = commentModel.idxFromCItemId(cid)
        if (row >= 0) {
            list.currentIndex = row
            list.positionViewAtIndex(row, ListView.Contain)
            openRequested()
        }
    }

    MyText {
        id: title
        objectName: "takeawaysTitle"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.margins: 12
        text: qsTr("Hightlights & Comments")
        font.pixelSize: FONTSIZE_TITLE
        font.bold: true
    }

    ListView {
        id: list
        objectName: "takeawaysList"
        anchors.top: title.bottom
        anchors.topMargin: 10
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        clip: true
        spacing: 10
        model: root.commentModel
        currentIndex: -1
        ScrollBar.vertical: ScrollBar {}

        delegate: Rectangle {
            id: row
            objectName: "takeaway_" + idx
            property var item: d
            readonly property bool isHighlight: item.type === 1
            width: list.width - 16
            x: 8
            height: content.implicitHeight + 20
            radius: 4
            color: "white"
            border.color: ListView.isCurrentItem ? Theme.accent : Theme.border

            MouseArea {
                anchors.fill: parent
                onClicked: {
                    list.currentIndex = idx
                    root.gotoSeg(row.item.vres_id, row.isHighlight ? row.item.id : 0)
                }
            }

            Column {
                id: content
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                anchors.margins: 10
                spacing: 6

                Item {
                    width: parent.width
                    height: Math.max(itemText.implicitHeight, menuBtn.height)
                    Rectangle {
                        id: mark
                        width: 4
                        height: parent.height
                        radius: 2
                        color: row.isHighlight ? "#A7E4FB" : Theme.warning
                    }
                    MyText {
                        id: itemText
                        objectName: "itemText"
                        anchors.left: mark.right
                        anchors.leftMargin: 8
                        anchors.right: menuBtn.left
                        wrapMode: Text.Wrap
                        text: row.item.text
                    }
                    ToolButton {
                        id: menuBtn
                        objectName: "itemMenuBtn"
                        anchors.right: parent.right
                        width: 22
                        height: 22
                        focusPolicy: Qt.NoFocus
                        text: "\u22EE"
                        onClicked: itemMenu.popup()
                    }
                    MyContextMenu {
                        id: itemMenu
                        MyMenuItem {
                            objectName: "deleteItem"
                            text: qsTr("Delete")
                            onTriggered: root.commentModel.removeCItem(row.item.vres_id, row.item.id)
                        }
                    }
                }

                Repeater {
                    model: row.item.replies || []
                    delegate: CommentReplyDelegate {
                        width: content.width
                        reply: modelData
                        rowIdx: idx
                        commentModel: root.commentModel
                    }
                }

                Row {
                    width: parent.width
                    spacing: 6
                    TextField {
                        id: replyField
                        objectName: "replyField"
                        width: parent.width - sendBtn.width - 6
                        placeholderText: qsTr("Reply...")
                        selectByMouse: true
                        font.family: FONTFAMILY_MAIN
                        font.pixelSize: FONTSIZE_SUB
                        Keys.onReturnPressed: sendBtn.clicked()
                        Keys.onEnterPressed: sendBtn.clicked()
                    }
                    ToolButton {
                        id: sendBtn
                        objectName: "sendBtn"
                        width: 30
                        height: replyField.height
                        text: "\u27A4"
                        ToolTip.visible: hovered
                        ToolTip.text: qsTr("Send")
                        onClicked: {
                            var t = replyField.text.trim()
                            if (t === "")
                                return
                            root.commentModel.addReply(idx, t)
                            replyField.text = ""
                        }
                    }
                }
            }

            Connections {
                target: root.commentModel
                function onFocusInputCItemIdChanged() {
                    if (root.commentModel.focusInputCItemId === row.item.id) {
                        replyField.forceActiveFocus()
                        root.commentModel.focusInputCItemId = -1
                    }
                }
            }
        }
    }
}
