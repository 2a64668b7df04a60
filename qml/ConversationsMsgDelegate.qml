import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// One conversation row: time, speaker dot and name, and the message bubble
// with its editor. The page (Conversations.qml) gives page, cp, convModel
// and commentModel.
Item {
    id: root
    objectName: "msg_" + idx

    property var page: null
    property var cp: null
    property var convModel: null
    property var commentModel: null
    readonly property var view: ListView.view
    readonly property bool isCurrent: ListView.isCurrentItem
    readonly property bool live: partial
    readonly property string styledPrefix: "<style>a {text-decoration:none;}</style>"
    property string lastSaved: ""
    // The "message" the editor shows. A save of ours does not show the
    // stored form again: the editor holds that text already, and the user
    // may type on.
    property string shownMessage: ""
    property bool saving: false
    property bool showing: false
    readonly property string modelMessage: message
    onModelMessageChanged: if (!saving && message !== shownMessage) showMessage()

    readonly property bool shown: !live || (cp !== null && cp.isRunning !== 0 && message !== "")
    readonly property bool hasSelection: msgEdit.selectionStart !== msgEdit.selectionEnd
    property alias editor: msgEdit
    property alias playBar: playBarLoader

    width: view ? view.width : 400
    // Never 0: a list whose only row in view has no height takes its whole
    // content for empty and shows nothing.
    height: shown ? body.height + 14 : 1
    visible: shown

    function critical(text) {
        msgbox.createObject(winroot).critical("", text)
    }

    function showMessage() {
        shownMessage = message
        showing = true
        msgEdit.text = styledPrefix + message
        showing = false
        lastSaved = msgEdit.text
    }

    function save() {
        saving = true
        var ok = convModel.updateSegHtml(idx, msgEdit.text)
        saving = false
        if (!ok) {
            critical(convModel.lastErr)
            return false
        }
        shownMessage = message
        lastSaved = msgEdit.text
        return true
    }

    // Stores what the user changed in the message and the speaker name;
    // runs when editing ends and on the page's commitEdits.
    function commit() {
        if (live)
            return
        if (msgEdit.text !== lastSaved)
            save()
        if (nameEdit.text !== speaker && !convModel.updateSpeakerName(idx, nameEdit.text))
            critical(convModel.lastErr)
    }

    function copy() {
        var t = msgEdit.selectedText !== "" ? msgEdit.selectedText : msgEdit.getText(0, msgEdit.length)
        baseutil.copyText(t)
        toast.show(qsTr("Successfully copied!"))
    }

    // onDeleted runs after the segment is gone (the page moves the selection).
    function del(onDeleted) {
        var i = idx
        var model = convModel
        msgbox.createObject(winroot).question("", qsTr("IDS_CONFIRM_DELETE_THIS_RESULT?"), function() {
            if (!model.deleteSeg(i)) {
                critical(model.lastErr)
                return
            }
            if (typeof onDeleted === "function")
                onDeleted()
        })
    }

    function bold() {
        baseutil.textEditAppendBoldFormat(msgEdit.textDocument, msgEdit.selectionStart, msgEdit.selectionEnd)
        save()
    }

    function comment() {
        var t = msgEdit.selectedText !== "" ? msgEdit.selectedText : msgEdit.getText(0, msgEdit.length)
        var cid = commentModel.addComment(id, t)
        page.gotoCItem(cid)
        return cid
    }

    function highlight(all) {
        var s = all ? 0 : Math.min(msgEdit.selectionStart, msgEdit.selectionEnd)
        var e = all ? msgEdit.length : Math.max(msgEdit.selectionStart, msgEdit.selectionEnd)
        if (/href\s*=\s*"#hl\d+"/i.test(msgEdit.getFormattedText(s, e))) {
            toast.show(qsTr("Unable to highlight because selected text is already highlighted!"))
            return 0
        }
        // Pictures are no words of the item; the selection keeps them.
        var plain = msgEdit.getText(s, e).replace(/\uFFFC/g, "").replace(/[\u2028\u2029]/g, "\n").trim()
        if (plain === "")
            return 0
        var cid = commentModel.addHighlight(id, plain)
        if (cid === 0) {
            toast.show(qsTr("Create highlight failed."))
            return 0
        }
        baseutil.textEditAppendHighlightFormat(msgEdit.textDocument, s, e, "#hl" + cid)
        save()
        page.gotoCItem(cid)
        return cid
    }

    function insertPicture(relpath, w, h) {
        var iw, ih
        if (w > h) {
            iw = Math.min(w, 200)
            ih = Math.min(w, 200) * h / w
        } else {
            iw = Math.min(h, 200) * w / h
            ih = Math.min(h, 200)
        }
        var html = "<a href=\"" + relpath + "\"><img src=\"" + relpath + "\" width=\"" + Math.round(iw)
            + "\" height=\"" + Math.round(ih) + "\"/></a>"
        var pos = msgEdit.cursorPosition
        baseutil.textEditReplaceSel(msgEdit.textDocument, pos, pos, html)
        save()
    }

    // The list does not follow the caret inside a row taller than itself. Run
    // where the caret moves or the user changes the text, not where the text
    // re-wraps.
    function keepCaretInView() {
        if (!msgEdit.activeFocus || !view)
            return
        var r = msgEdit.cursorRectangle
        page.reveal(idx, msgEdit, r.y, r.y + r.height)
    }

    function layOut() {
        bubbleColumn.forceLayout()
        body.forceLayout()
    }

    // Up on the message's first line and Down on its last go on into the row
    // above, onto its last line, or the row below, onto its first, at the
    // caret's x; never into the live row. A selection stays in its row.
    function enterNext(up, event) {
        if (event.modifiers & (Qt.ShiftModifier | Qt.ControlModifier | Qt.AltModifier))
            return
        var x = msgEdit.cursorRectangle.x
        page.enterRow(up ? idx - 1 : idx + 1, function(e) {
            e.cursorPosition = e.positionAt(x, up ? e.positionToRectangle(e.length).y : 0)
        })
    }
    Keys.onUpPressed: function(event) { enterNext(true, event) }
    Keys.onDownPressed: function(event) { enterNext(false, event) }

    function enterMessage() {
        takeFocus()
        keepCaretInView()
    }

    function takeFocus() {
        if (live)
            return
        msgEdit.forceActiveFocus()
        page.currentEditor = root
    }

    onIsCurrentChanged: if (isCurrent) takeFocus()
    Component.onCompleted: {
        showMessage()
        if (isCurrent)
            takeFocus()
    }

    Connections {
        target: root.page
        function onCommitEdits() { root.commit() }
    }
    Component.onDestruction: if (page && page.currentEditor === root) page.currentEditor = null

    Connections {
        target: root.cp
        function onPlayEnded(playId, hasErr, err) {
            if (playId === idx && hasErr)
                root.critical(err)
        }
    }

    Column {
        id: body
        y: 7
        width: parent.width
        spacing: 4

        Rectangle {
            id: timeBadge
            objectName: "timeBadge"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: time !== ""
            width: timeText.implicitWidth + 16
            height: timeText.implicitHeight + 4
            radius: height / 2
            color: "#EEF0F3"
            MyText {
                id: timeText
                anchors.centerIn: parent
                textFormat: Text.RichText
                text: time
                font.pixelSize: FONTSIZE_SUB2
                color: Theme.muted
            }
        }

        Item {
            id: line
            width: parent.width
            height: Math.max(bubbleColumn.height, dot.height)

            Rectangle {
                id: dot
                objectName: "speakerDot"
                width: 26
                height: 26
                radius: 13
                visible: !root.live
                color: speakerColor === "" ? "red" : speakerColor
                x: send ? parent.width - width - 10 : 10
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onPressed: root.page.playRow(idx, dot)
                }
            }

            Column {
                id: bubbleColumn
                spacing: 2
                x: send ? dot.x - width - 8 : dot.x + dot.width + 8

                TextInput {
                    id: nameEdit
                    objectName: "speakerName"
                    visible: !root.live
                    text: speaker
                    color: speakerColor === "" ? "red" : speakerColor
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_SUB
                    selectByMouse: true
                    anchors.right: send ? parent.right : undefined
                    onTextEdited: root.page.edited()
                    Keys.onTabPressed: root.enterMessage()
                    Keys.onReturnPressed: root.enterMessage()
                    Keys.onEnterPressed: root.enterMessage()
                    Keys.onDownPressed: root.enterMessage()
                    onEditingFinished: root.commit()
                }

                Rectangle {
                    id: bubble
                    objectName: "bubble"
                    width: msgEdit.width + 20
                    height: msgEdit.height + 16
                    radius: 8
                    color: send ? (root.isCurrent ? "#CFE6FF" : "#E3F0FF") : (root.isCurrent ? "#E4E7EC" : "#F1F3F6")
                    border.color: root.isCurrent ? Theme.accent : "transparent"

                    MyTextEdit {
                        id: msgEdit
                        objectName: "messageEdit"
                        x: 10
                        y: 8
                        maxWidth: root.width * 0.8
                        minWidth: /<img/i.test(message) ? 220 : 100
                        baseUrl: root.cp ? root.cp.projectUrl + "/" : ""
                        readOnly: id === 0
                        onActiveFocusChanged: {
                            if (activeFocus && !root.live)
                                root.page.selectRow(idx)
                        }
                        onTextChanged: {
                            if (activeFocus && !root.showing && !root.live) {
                                root.page.edited()
                                root.keepCaretInView()
                            }
                        }
                        onCursorPositionChanged: if (!root.showing) root.keepCaretInView()
                        onEditingFinished: root.commit()
                        onLinkActivated: function(link) {
                            var m = /^#hl(\d+)$/.exec(link)
                            if (m)
                                root.page.gotoCItem(Number(m[1]))
                            else if (/^http/i.test(link))
                                Qt.openUrlExternally(link)
                            else
                                Qt.openUrlExternally(root.cp.projectUrl + "/" + link)
                        }
                        Keys.onPressed: function(event) {
                            var k = event.key
                            if (k === Qt.Key_Tab) {
                                root.page.enterRow(idx + 1 <= root.view.count - 2 ? idx + 1 : 0)
                                event.accepted = true
                                return
                            }
                            if (k !== Qt.Key_F1 && k !== Qt.Key_F2 && k !== Qt.Key_F3 && k !== Qt.Key_F4)
                                return
                            event.accepted = true
                            if (root.cp.isRunning !== 0 || root.cp.isStarting !== 0)
                                return
                            if (k === Qt.Key_F1) {
                                root.page.playRow(idx - 1)
                            } else if (k === Qt.Key_F2) {
                                if (root.cp.playIdx !== idx)
                                    root.page.playRow(idx)
                                else if (root.cp.playPaused)
                                    root.cp.playResume()
                                else
                                    root.cp.playPause()
                            } else if (k === Qt.Key_F3) {
                                root.cp.playStop()
                            } else {
                                root.page.playRow(idx + 1)
                            }
                        }
                    }
                }

                // Below the bubble, where it hides no text of the row.
                Loader {
                    id: playBarLoader
                    objectName: "playBarLoader"
                    anchors.right: send ? parent.right : undefined
                    active: root.cp !== null && !root.live && root.cp.playIdx === idx
                    source: "qrc:/PlayBar.qml"
                    // No height without a bar, so the column leaves the
                    // loader out (it would keep the bar's height).
                    height: item ? item.implicitHeight : 0
                    // The row takes its new height when the bar comes or
                    // goes, not at its next layout: the page may show the bar
                    // at once.
                    onHeightChanged: root.layOut()
                    onLoaded: item.cp = Qt.binding(function() { return root.cp })
                }
                Connections {
                    target: playBarLoader.item
                    function onBackward() { root.page.playRow(idx - 1) }
                    function onForward() { root.page.playRow(idx + 1) }
                }
            }
        }
    }
}
