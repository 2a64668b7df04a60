import QtQuick 2.15
import QtTest 1.15
import ConversationsItemModel 1.0
import CommentItemModel 1.0
import InitablesThread 1.0

// The conversation page over the prepared project: three segments, speaker A
// on rows 0 and 2. The page finds msgbox, toast and winroot in its window;
// this test stands in for them.
TestCase {
    id: winroot
    name: "ConversationPages"
    width: 900
    height: 700
    when: windowShown

    property var boxes: []
    property var toasts: []
    property var page: null
    property var takeaways: null

    QtObject {
        id: recorder
        function add(kind, text) { var b = winroot.boxes.slice(); b.push({ kind: kind, text: text }); winroot.boxes = b }
        function critical(t, x) { add("critical", x) }
        function question(t, x, yes) { add("question", x); if (yes) yes() }
        function information(t, x) { add("information", x) }
    }
    QtObject {
        id: msgbox
        function createObject(parent) { return recorder }
    }
    QtObject {
        id: toast
        function show(text) { var t = winroot.toasts.slice(); t.push(text); winroot.toasts = t }
    }

    ConversationsItemModel { id: convModel }
    CommentItemModel { id: commentModel }
    InitablesThread { id: opener }
    SignalSpy { id: initSpy; target: opener; signalName: "initFinished" }
    SignalSpy { id: gotoSpy; target: winroot.page; signalName: "gotoCItem" }

    readonly property int roleMessage: 261
    readonly property int roleSpeaker: 262

    function msg(row) { return convModel.data(convModel.index(row, 0), roleMessage) }
    function speakerOf(row) { return convModel.data(convModel.index(row, 0), roleSpeaker) }

    function initTestCase() {
        verify(prosmgr.cp !== null)
        opener.inits = [prosmgr.cp, convModel, commentModel]
        opener.start()
        initSpy.wait(10000)
        compare(initSpy.signalArguments[0][0], true, initSpy.signalArguments[0][1])
        // The rows reach the model on this thread, ahead of the report.
        tryVerify(function() { return convModel.rowCount() === 4 })

        var comp = Qt.createComponent("qrc:/Conversations.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        // The test case item itself is never shown; the window's root item is.
        page = comp.createObject(winroot.parent, { width: 900, height: 700, cp: prosmgr.cp, convModel: convModel,
                                            commentModel: commentModel })
        verify(page !== null)
        page.gotoCItem.connect(function(cid) { if (takeaways) takeaways.gotoCItem(cid) })
        var tcomp = Qt.createComponent("qrc:/ConversationTakeaways.qml")
        verify(tcomp.status === Component.Ready, tcomp.errorString())
        takeaways = tcomp.createObject(winroot.parent, { x: 600, width: 300, height: 700, commentModel: commentModel })
        verify(takeaways !== null)
        page.width = 600
    }

    function delegateOf(row) {
        var list = findChild(page, "conversationList")
        list.positionViewAtIndex(row, ListView.Contain)
        return findChild(list, "msg_" + row)
    }

    function test_1_startsAtLastSegment() {
        var list = findChild(page, "conversationList")
        compare(list.currentIndex, 2)
        tryVerify(function() { return page.currentEditor !== null })
        compare(page.currentEditor, delegateOf(2))
        // The live row is hidden while no run is going on.
        var live = findChild(list, "msg_3")
        verify(!live || !live.visible)
    }

    function test_2_editSegment() {
        var d = delegateOf(0)
        var edit = findChild(d, "messageEdit")
        verify(edit !== null)
        mouseClick(edit, 5, edit.height / 2)
        tryVerify(function() { return edit.activeFocus })
        compare(findChild(page, "conversationList").currentIndex, 0)
        edit.cursorPosition = edit.length
        keyClick(Qt.Key_Space)
        keyClick(Qt.Key_H)
        keyClick(Qt.Key_I)
        // Leaving the editor saves it.
        mouseClick(findChild(page, "projectNameEdit"))
        tryVerify(function() { return msg(0).indexOf("everyone hi") >= 0 }, 3000, msg(0))
        verify(msg(0).indexOf("<head") < 0)
        verify(msg(0).indexOf("<style") < 0)
        compare(boxes.length, 0)
    }

    function test_3_renameSpeaker() {
        var d = delegateOf(0)
        var name = findChild(d, "speakerName")
        compare(name.text, speakerOf(0))
        mouseClick(name, 2, name.height / 2)
        tryVerify(function() { return name.activeFocus })
        name.selectAll()
        keyClick(Qt.Key_A)
        keyClick(Qt.Key_N)
        keyClick(Qt.Key_N)
        keyClick(Qt.Key_A)
        keyClick(Qt.Key_Return)
        tryCompare(winroot, "boxes", [])
        tryVerify(function() { return speakerOf(0) === "anna" })
        // The other row of the same speaker follows; the other speaker does not.
        compare(speakerOf(2), "anna")
        verify(speakerOf(1) !== "anna")
        compare(findChild(delegateOf(2), "speakerName").text, "anna")
        // Return moved the focus to the message.
        verify(findChild(d, "messageEdit").activeFocus)
    }

    function test_4_highlightSelection() {
        var d = delegateOf(1)
        var edit = findChild(d, "messageEdit")
        mouseClick(edit, 5, edit.height / 2)
        tryVerify(function() { return page.currentEditor === d })
        var plain = edit.getText(0, edit.length)
        var start = plain.indexOf("you")
        verify(start >= 0, plain)
        edit.select(start, start + 3)
        compare(edit.selectedText, "you")
        var btn = findChild(page, "highlightBtn")
        tryVerify(function() { return btn.enabled })
        gotoSpy.clear()
        mouseClick(btn)

        compare(commentModel.rowCount(), 1)
        var item = commentModel.data(commentModel.index(0, 0), 258)
        compare(item.type, 1)
        compare(item.text, "you")
        compare(item.vres_id, convModel.data(convModel.index(1, 0), 258))
        verify(msg(1).indexOf("href=\"#hl" + item.id + "\"") >= 0, msg(1))
        verify(msg(1).indexOf("thank") >= 0, msg(1))
        compare(gotoSpy.count, 1)
        compare(gotoSpy.signalArguments[0][0], item.id)
        compare(findChild(takeaways, "takeawaysList").currentIndex, 0)

        // The same words cannot be highlighted twice.
        edit.select(start, start + 3)
        mouseClick(btn)
        compare(commentModel.rowCount(), 1)
        compare(toasts[toasts.length - 1], "Unable to highlight because selected text is already highlighted!")
    }

    function test_5_deleteHighlightRestoresText() {
        var item = commentModel.data(commentModel.index(0, 0), 258)
        commentModel.highlightDeleted.connect(convModel.removeHighLight)
        commentModel.removeCItem(item.vres_id, item.id)
        compare(commentModel.rowCount(), 0)
        verify(msg(1).indexOf("#hl") < 0, msg(1))
        verify(msg(1).indexOf("you") >= 0, msg(1))
    }

    function test_6_dockDelegateIsReadOnly() {
        var list = Qt.createQmlObject('import QtQuick 2.15; import "qrc:/"; ListView { width: 400; height: 500; '
            + 'delegate: DockVerticalConversationDelegate { cp: prosmgr.cp } }', winroot.parent)
        list.model = convModel
        compare(list.count, 4)
        var row = findChild(list, "dockMsg_1")
        verify(row !== null)
        var edit = findChild(row, "dockMessage")
        verify(edit.readOnly)
        verify(edit.getText(0, edit.length).indexOf("thank") >= 0)
        verify(edit.width <= 400 * 0.6 + 10)
        // The live row stays hidden while nothing runs.
        var live = findChild(list, "dockMsg_3")
        verify(live === null || live.height === 0)
        list.destroy()
    }

    function test_7_flickableEditText() {
        var comp = Qt.createComponent("qrc:/FlickableEditText.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        var f = comp.createObject(winroot.parent, { x: 10, y: 10, width: 200, height: 60 })
        var spy = Qt.createQmlObject('import QtTest 1.15; SignalSpy { signalName: "editingFinished" }', f)
        spy.target = f
        var lines = []
        for (var i = 0; i < 30; ++i)
            lines.push("line " + i)
        f.text = lines.join("\n")
        var edit = findChild(f, "flickableEdit")
        edit.forceActiveFocus()
        edit.cursorPosition = edit.length
        verify(f.contentY > 0)
        keyClick(Qt.Key_X)
        findChild(page, "projectNameEdit").forceActiveFocus()
        compare(spy.count, 1)
        verify(spy.signalArguments[0][0].indexOf("line 29x") >= 0)
        f.destroy()
    }

    function test_8_highlightKeepsPicturesAndFormatting() {
        var d = delegateOf(2)
        var edit = findChild(d, "messageEdit")
        mouseClick(edit, 5, edit.height / 2)
        tryVerify(function() { return page.currentEditor === d })
        var plain = edit.getText(0, edit.length)
        var l = plain.indexOf("let")
        edit.select(l + 1, l + 3)
        d.bold()
        edit.cursorPosition = plain.indexOf("us") + 2
        d.insertPicture("images/0123456789abcdef0123456789abcdef.png", 40, 20)
        plain = edit.getText(0, edit.length)
        edit.select(plain.indexOf("let"), plain.indexOf("begin") + 3)
        var cid = d.highlight(false)
        verify(cid > 0)
        compare(commentModel.data(commentModel.index(0, 0), 258).text, "let us beg")
        var words = function() { return baseutil.html2text(msg(2)).replace(/\uFFFC/g, "") }
        compare(words(), "let us begin")
        verify(msg(2).indexOf("href=\"#hl" + cid + "\"") >= 0, msg(2))
        verify(msg(2).indexOf("<a href=\"images/0123456789abcdef0123456789abcdef.png\"><img src=\"images/0123456789abcdef0123456789abcdef.png\"") >= 0, msg(2))
        verify(msg(2).indexOf("font-weight:600") >= 0, msg(2))

        // Removed, the highlight leaves the text as it was before it.
        convModel.removeHighLight(convModel.data(convModel.index(2, 0), 258), cid)
        verify(!/#hl|a7e4fb|#333333/i.test(msg(2)), msg(2))
        compare(words(), "let us begin")
        verify(msg(2).indexOf("images/0123456789abcdef0123456789abcdef.png") >= 0, msg(2))
        verify(msg(2).indexOf("font-weight:600") >= 0, msg(2))
    }

    // Pasted into the editor, saved and shown again: each link opens where
    // it points, the web in the browser and the rest in the project's folder.
    function test_9_links_data() {
        return [
            { tag: "web page", href: "https://example.org/agenda?id=7&amp;x=1",
              opened: ["https://example.org/agenda?id=7&x=1"] },
            { tag: "blank in the address", href: "https://example.org/my file.pdf",
              opened: ["https://example.org/my file.pdf"] },
            { tag: "project picture", href: "images/0123456789abcdef0123456789abcdef.png",
              opened: [prosmgr.cp.projectUrl + "/images/0123456789abcdef0123456789abcdef.png"] },
            { tag: "script", href: "javascript:alert(1)", opened: [] }
        ]
    }

    function test_9_links(data) {
        var before = msg(0)
        var d = delegateOf(0)
        var edit = findChild(d, "messageEdit")
        baseutil.textEditReplaceSel(edit.textDocument, 0, edit.length,
                                    "<ul><li>see <a href=\"" + data.href + "\">the link</a> here</li></ul>")
        verify(d.save())
        verify(msg(0).indexOf("<li") >= 0, msg(0))
        d.showMessage()
        openedUrls.clear()
        var r = edit.positionToRectangle(edit.getText(0, edit.length).indexOf("link"))
        // The editor opens a link as the click ends.
        mouseClick(edit, r.x + 2, r.y + r.height / 2)
        compare(openedUrls.urls, data.opened)
        verify(convModel.updateSegHtml(0, before))
        d.showMessage()
    }

    function test_9_playBarHidesNoText() {
        var d = delegateOf(0)
        prosmgr.cp.playIdx = 0
        var bar = null
        tryVerify(function() { bar = findChild(d, "playBar"); return bar !== null && bar.width > 0 })
        waitForRendering(bar)
        // Once the row has placed it, which a busy machine may draw a frame before.
        var clear = function(text) {
            var b = bar.mapToItem(d, 0, 0, bar.width, bar.height)
            var t = text.mapToItem(d, 0, 0, text.width, text.height)
            return b.y >= t.y + t.height || t.y >= b.y + b.height || b.x >= t.x + t.width || t.x >= b.x + b.width
        }
        for (var name of ["speakerName", "messageEdit", "timeBadge"])
            tryVerify(clear.bind(null, findChild(d, name)), 5000, name)
        // Its icons are drawn: every text in it is plain ASCII, which any font has.
        var stack = [bar]
        while (stack.length > 0) {
            var item = stack.pop()
            if (item.text !== undefined && typeof item.text === "string")
                verify(/^[ -~]*$/.test(item.text), item.text)
            for (var c = 0; c < item.children.length; ++c)
                stack.push(item.children[c])
        }
        prosmgr.cp.playIdx = -1
    }
}
