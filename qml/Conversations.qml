import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.2
import "Theme.js" as Theme

// The conversation of the open project: header, editing buttons and the list
// of messages. The project page gives cp, convModel and commentModel and
// connects gotoCItem (show an item in the right-hand pane) and
// openTakeaways (a new highlight arrived).
Rectangle {
    id: root
    objectName: "conversationsPage"
    color: Theme.page

    property var cp: null
    property var convModel: null
    property var commentModel: null
    // The delegate of the current row; its functions act on its editor.
    property var currentEditor: null
    readonly property bool editorHasSelection: currentEditor !== null && currentEditor.hasSelection

    signal gotoCItem(var cid)
    signal openTakeaways()
    // Every editor of the page stores what the user changed. Raised after a
    // short pause in typing and on each way out that takes no keyboard focus
    // (another page, closing the window, a run or an export starting), where
    // no editing ends by itself.
    signal commitEdits()

    onCommitEdits: {
        pauseTimer.stop()
        nameInput.commit()
    }

    // Called by the editors for every change the user makes.
    function edited() {
        pauseTimer.restart()
    }

    Timer {
        id: pauseTimer
        interval: 1000
        onTriggered: root.commitEdits()
    }

    // A card of the pane: its message becomes current and shows whole where
    // it fits the list; a taller one shows from its start, or from the words
    // of the highlight hlId (if any). The caret goes there.
    function gotoSeg(segId, hlId) {
        var row = convModel.idxFromSegId(segId)
        if (row < 0)
            return
        var words = []
        var item = focusRow(row, function(e) {
            words = hlId ? baseutil.textEditLinkRange(e.textDocument, "#hl" + hlId) : []
            e.cursorPosition = words.length > 0 ? words[0] : 0
        })
        var top = 0
        if (item.height > list.height && words.length > 0)
            top = item.editor.mapToItem(item, 0, item.editor.positionToRectangle(words[0]).y).y
        reveal(row, item, top, top + Math.min(item.height, list.height))
    }

    // Moves the list the least that shows the span from top to bottom of
    // item (in its own coordinates, a part of row), the span's top where it
    // is taller than the list, and keeps the list within its bounds. A row
    // the list has not laid out stands where the list guesses, and a view
    // placed there would lie outside the bounds with no rows: the list
    // brings such a row in itself. Rows it lays out may still move item, so
    // it looks again after each layout.
    function reveal(row, item, top, bottom) {
        if (list.itemAtIndex(row) === null)
            list.positionViewAtIndex(row, ListView.Contain)
        for (var i = 0; i < 10; ++i) {
            list.forceLayout()
            var y = item.mapToItem(list.contentItem, 0, top).y
            var to = Math.min(y, Math.max(list.contentY, y + bottom - top - list.height))
            to = Math.max(list.originY, Math.min(to, list.originY + list.contentHeight - list.height))
            if (Math.abs(to - list.contentY) < 0.5)
                return
            list.contentY = to
        }
    }

    // Plays row at the user's request (what plays stops first), with the
    // keyboard in its message. The message shows with its play bar where
    // both fit the list; in a taller one the user reads and corrects at the
    // caret's line, or at the dot clicked, which stays in view, the bar too
    // where it fits with it.
    function playRow(row, clicked) {
        if (!convModel.play(row))
            return
        var item = focusRow(row), bar = item.playBar
        if (!bar.item) {
            // The playback failed at once.
            if (!clicked)
                item.keepCaretInView()
            return
        }
        var end = bar.mapToItem(item, 0, bar.height).y
        if (end <= list.height) {
            reveal(row, item, 0, end)
            return
        }
        var r = clicked ? Qt.rect(0, 0, 0, clicked.height) : item.editor.cursorRectangle
        var top = (clicked || item.editor).mapToItem(item, 0, r.y).y
        reveal(row, item, top, end - top <= list.height ? end : top + r.height)
    }

    // Makes row current where the user's click or keyboard already is. Left
    // to itself the list would scroll to the row, to the top of one taller
    // than the view, and follow it whenever it changes size; placing the
    // view ends that.
    function selectRow(row) {
        var y = list.contentY
        list.currentIndex = row
        list.contentY = y
    }

    // Moves the keyboard into row's message, its caret set by place(editor)
    // if given, and returns the row's delegate (null for no segment row);
    // the view stays.
    function focusRow(row, place) {
        if (row < 0 || row > list.count - 2)
            return null
        selectRow(row)
        if (place)
            place(list.currentItem.editor)
        list.currentItem.takeFocus()
        return list.currentItem
    }

    // Moves the keyboard into row's message; the view moves only as far as
    // shows its caret.
    function enterRow(row, place) {
        var item = focusRow(row, place)
        if (item)
            item.keepCaretInView()
    }

    function positionAtEnd() {
        list.positionViewAtEnd()
    }

    // After a deletion the next row takes the selection; past the last
    // segment the last one does.
    function afterDelete() {
        list.currentIndex = list.currentIndex + 1
        if (list.currentIndex > list.count - 2)
            list.currentIndex = list.count - 2
        else
            list.currentIndex = list.currentIndex - 1
    }

    function insertPictureFile(fileUrl) {
        var ext = baseutil.fileExt(fileUrl)
        var rel = "images/" + baseutil.genUUID() + "." + (ext === "" ? "jpg" : ext)
        var size = baseutil.saveImg(fileUrl, cp.projectUrl + "/" + rel)
        if (size.width > 0 && size.height > 0 && currentEditor)
            currentEditor.insertPicture(rel, size.width, size.height)
    }

    function insertPictureClipboard() {
        var rel = "images/" + baseutil.genUUID() + ".jpg"
        var size = baseutil.saveClipboardImage(cp.projectUrl + "/" + rel)
        if (size.width > 0 && size.height > 0 && currentEditor)
            currentEditor.insertPicture(rel, size.width, size.height)
    }

    function choosePhoto() {
        if (baseutil.clipboardHasImage())
            photoMenu.popup(photoBtn, 0, photoBtn.height)
        else
            photoDialogComponent.createObject(root).open()
    }

    function openExport() {
        commitEdits()
        var comp = Qt.createComponent("qrc:/ExportSetting.qml")
        if (comp.status === Component.Ready)
            comp.createObject(winroot, { projectUrls: [cp.projectUrl] })
    }

    Connections {
        target: root.cp
        function onStarted(suc) {
            if (!suc)
                msgbox.createObject(winroot).critical("", root.cp.lastErr)
        }
        function onStopped() {
            if (root.cp.hasErr)
                msgbox.createObject(winroot).critical("", root.cp.lastErr)
        }
        function onNewHighlight(hl) {
            root.openTakeaways()
        }
        function onIsStartingChanged() {
            if (root.cp.isStarting !== 0)
                root.commitEdits()
        }
    }

    Connections {
        target: root.convModel
        function onNewPartial() {
            list.positionViewAtEnd()
        }
    }

    Column {
        id: header
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 12
        spacing: 6

        Item {
            width: parent.width
            height: exportBtn.height
            TextInput {
                id: nameInput
                objectName: "projectNameEdit"
                anchors.left: parent.left
                anchors.right: exportBtn.left
                anchors.rightMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                text: root.cp ? root.cp.projectName : ""
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_TITLE
                font.bold: true
                color: TEXTCOLOR_MAIN
                selectByMouse: true
                clip: true
                function commit() {
                    if (root.cp && text !== root.cp.projectName)
                        root.cp.projectName = text
                }
                onTextEdited: root.edited()
                onEditingFinished: commit()
            }
            SimpleButton {
                id: exportBtn
                objectName: "exportBtn"
                anchors.right: parent.right
                text: qsTr("Export")
                enabled: root.cp !== null && root.cp.isRunning === 0 && root.cp.isStarting === 0
                onClicked: root.openExport()
            }
        }
        MyText {
            objectName: "createdText"
            font.pixelSize: FONTSIZE_SUB
            color: Theme.muted
            text: {
                var secs = root.cp ? Number(root.cp.info("created")) : 0
                return secs > 0 ? Qt.formatDateTime(new Date(secs * 1000), "yyyy-MM-dd hh:mm:ss") : ""
            }
        }
        Row {
            spacing: 6
            ConversationsEditBtn {
                objectName: "highlightBtn"
                text: qsTr("Highlight")
                enabled: root.editorHasSelection
                onClicked: root.currentEditor.highlight(false)
            }
            ConversationsEditBtn {
                objectName: "boldBtn"
                text: qsTr("Bold")
                enabled: root.editorHasSelection
                onClicked: root.currentEditor.bold()
            }
            ConversationsEditBtn {
                objectName: "commentBtn"
                text: qsTr("Comment")
                enabled: root.currentEditor !== null
                onClicked: root.currentEditor.comment()
            }
            ConversationsEditBtn {
                id: photoBtn
                objectName: "photoBtn"
                text: qsTr("Photo")
                enabled: root.currentEditor !== null
                onClicked: root.choosePhoto()
            }
            ConversationsEditBtn {
                objectName: "copyBtn"
                text: qsTr("Copy")
                enabled: root.currentEditor !== null
                onClicked: root.currentEditor.copy()
            }
            ConversationsEditBtn {
                objectName: "deleteBtn"
                text: qsTr("Delete")
                enabled: root.currentEditor !== null
                onClicked: root.currentEditor.del(root.afterDelete)
            }
        }
    }

    Rectangle {
        id: sep
        anchors.top: header.bottom
        anchors.topMargin: 8
        width: parent.width
        height: 1
        color: Theme.border
    }

    ListView {
        id: list
        objectName: "conversationList"
        anchors.top: sep.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        clip: true
        model: root.convModel
        currentIndex: -1
        highlightFollowsCurrentItem: false
        cacheBuffer: 400
        ScrollBar.vertical: ScrollBar {}
        delegate: ConversationsMsgDelegate {
            page: root
            cp: root.cp
            convModel: root.convModel
            commentModel: root.commentModel
        }
        Component.onCompleted: {
            currentIndex = count >= 2 ? count - 2 : -1
            positionViewAtEnd()
        }
    }

    MyContextMenu {
        id: photoMenu
        MyMenuItem {
            text: qsTr("IDS_FROM_CLIPBOARD")
            onTriggered: root.insertPictureClipboard()
        }
        MyMenuItem {
            text: qsTr("IDS_CHOOSE")
            onTriggered: photoDialogComponent.createObject(root).open()
        }
    }

    Component {
        id: photoDialogComponent
        FileDialog {
            title: qsTr("IDS_SELECT_PHOTO")
            nameFilters: ["Support Files(*.jpg *.jpeg *.png *.bmp)"]
            selectMultiple: false
            selectExisting: true
            folder: shortcuts.documents
            onAccepted: {
                root.insertPictureFile(String(fileUrl))
                destroy()
            }
            onRejected: destroy()
        }
    }
}
