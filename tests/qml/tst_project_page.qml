import QtQuick 2.15
import QtTest 1.15
import ProjectMainController 1.0

// MainContentFrame.qml and its bars, with a real controller converting
// spoken files. Like the window, this test provides msgbox, winroot and
// navUtil, and records what the pages ask of them.
TestCase {
    id: winroot
    name: "ProjectPage"
    width: 1000
    height: 700
    when: windowShown
    // The pages check what is visible.
    visible: true

    property var boxes: []
    property var navs: []
    property var page: null
    // Stands in for the root property the project page publishes.
    property var conversationsItemModel: null

    QtObject {
        id: recorder
        function add(kind, text, yes) { var b = winroot.boxes.slice(); b.push({ kind: kind, text: text, yes: yes }); winroot.boxes = b }
        function information(t, x) { add("information", x) }
        function warning(t, x) { add("warning", x) }
        function critical(t, x) { add("critical", x) }
        function question(t, x, yes, no) { add("question", x, yes) }
    }
    QtObject {
        id: msgbox
        function createObject(parent) { return recorder }
    }
    QtObject {
        id: toast
        function show(text) { winroot.boxes = winroot.boxes.concat([{ kind: "toast", text: text }]) }
    }
    QtObject {
        id: navUtil
        function nav(source, props) { var n = winroot.navs.slice(); n.push(source); winroot.navs = n }
    }

    function init() {
        boxes = []
        navs = []
    }

    function cleanup() {
        conversationsItemModel = null
        if (page) {
            page.destroy()
            page = null
        }
        prosmgr.existProject()
    }

    function openPage(props) {
        var comp = Qt.createComponent("qrc:/MainContentFrame.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        props.width = 1000
        props.height = 700
        page = comp.createObject(winroot, props)
        verify(page !== null)
        return page
    }

    function newProject(name) {
        var url = prosmgr.createProject(name, testRootUrl, "en-s", 0.5)
        verify(url !== "", prosmgr.lastErr)
        return url
    }

    function messageOf(row) {
        var list = findChild(page, "conversationList")
        list.positionViewAtIndex(row, ListView.Contain)
        return findChild(findChild(list, "msg_" + row), "messageEdit")
    }

    function convertedPage(name) {
        openPage({ mode: ProjectMainController.Convert, projectUrl: newProject(name), convertFileUrl: testSpeechUrl })
        verify(prosmgr.cp !== null)
        compare(page.cp, prosmgr.cp)
        tryVerify(function() { return findChild(page, "conversationList") !== null
                               && prosmgr.cp.isRunning === 0 && prosmgr.cp.isStarting === 0 }, 30000)
        // One segment and the live row.
        tryCompare(findChild(page, "conversationList"), "count", 2)
        return findChild(page, "conversationList")
    }

    function test_convertShowsText() {
        var list = convertedPage("page convert")
        compare(boxes.length, 0)
        compare(prosmgr.cp.convertStatus(), 1)
        // Idle again: the bar offers further runs.
        verify(findChild(page, "expandRecord").visible)
        verify(!findChild(page, "stopConvert").visible)
        var text = messageOf(0)
        verify(String(text.text).indexOf("one two three") >= 0, text.text)
        verify(!findChild(page, "msg_1").visible)
        // The pane with highlights and comments waits to be opened.
        verify(!page.takeawaysOpen)
    }

    function test_highlightJoinsBothViews() {
        var list = convertedPage("page highlight")
        var conv = findChild(page, "conversationsPage")
        var edit = messageOf(0)
        list.currentIndex = 0
        tryCompare(conv, "currentEditor", findChild(list, "msg_0"))
        var plain = edit.getText(0, edit.length)
        var at = plain.indexOf("two")
        verify(at >= 0, plain)
        edit.select(at, at + 3)
        mouseClick(findChild(conv, "highlightBtn"))
        // The new item is shown in the opened pane.
        tryVerify(function() { return page.takeawaysOpen })
        compare(page.commentModel.rowCount(), 1)
        var takeawaysList = findChild(page, "takeawaysList")
        compare(takeawaysList.currentIndex, 0)
        var item = page.commentModel.data(page.commentModel.index(0, 0), 258)
        compare(item.text, "two")
        verify(String(edit.text).indexOf("#hl" + item.id) >= 0, edit.text)

        // Deleting the highlight takes its anchor out of the segment.
        page.commentModel.removeCItem(item.vres_id, item.id)
        compare(page.commentModel.rowCount(), 0)
        tryVerify(function() { return String(messageOf(0).text).indexOf("#hl") < 0 })
        edit = messageOf(0)
        compare(edit.getText(0, edit.length), plain)

        // A comment goes with its segment.
        var cid = page.commentModel.addComment(item.vres_id, "a note")
        verify(cid > 0)
        compare(page.commentModel.rowCount(), 1)
        verify(page.convModel.deleteSeg(0))
        compare(page.commentModel.rowCount(), 0)
        compare(boxes.length, 0)
    }

    function test_dockVerticalListsConversation() {
        convertedPage("page dock")
        conversationsItemModel = page.convModel
        var comp = Qt.createComponent("qrc:/DockVertical.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        var win = comp.createObject(null)
        var list = findChild(win.contentItem, "dockConversation")
        compare(list.count, 2)
        compare(list.currentIndex, 0)
        var msg = findChild(findChild(list, "dockMsg_0"), "dockMessage")
        verify(String(msg.getText(0, msg.length)).indexOf("one two three") >= 0)
        compare(msg.baseUrl, prosmgr.cp.projectUrl + "/")
        // The live row stays hidden while nothing runs.
        verify(!findChild(list, "dockMsg_1").visible)
        win.destroy()
    }

    function test_takeawaysHandleAndGotoSeg() {
        var list = convertedPage("page pane")
        var handle = findChild(page, "takeawaysHandle")
        verify(handle.visible)
        mouseClick(handle)
        verify(page.takeawaysOpen)
        mouseClick(handle)
        verify(!page.takeawaysOpen)

        // A click on an item selects its segment in the conversation.
        var segId = page.convModel.data(page.convModel.index(0, 0), 258)
        verify(page.commentModel.addComment(segId, "look here") > 0)
        list.currentIndex = -1
        mouseClick(handle)
        // Opened in full, or the click may land while the card slides in.
        var pane = findChild(page, "takeawaysPane")
        tryVerify(function() { return pane.width === Math.min(340, Math.round(pane.parent.width * 0.4)) })
        var row = null
        tryVerify(function() { row = findChild(page, "takeaway_0"); return row !== null && row.width > 0 })
        mouseClick(row, 5, 5)
        compare(list.currentIndex, 0)
    }

    function test_convertingBarAndLeaving() {
        openPage({ mode: ProjectMainController.Convert, projectUrl: newProject("page leave"), convertFileUrl: testLongSpeechUrl })
        var cp = prosmgr.cp
        tryVerify(function() { return cp.isRunning === 1 }, 30000)
        verify(findChild(page, "stopConvert").visible)
        verify(!findChild(page, "expandRecord").visible)
        tryVerify(function() { return findChild(page, "convertPercent").text !== "0%" }, 10000)

        // Leaving a running project asks first; no leaves nothing changed.
        var left = 0
        page.nav(function() { ++left })
        compare(boxes.length, 1)
        compare(boxes[0].kind, "question")
        compare(boxes[0].text, "Are you sure you want to stop the project?")
        compare(left, 0)
        boxes[0].yes()
        compare(left, 1)
        compare(cp.isRunning, 0)
        // A stopped conversion is not resumed.
        verify(!cp.isConvertingFile())
    }

    function test_resumesInterruptedConversion() {
        var url = newProject("page resume")
        verify(prosmgr.enterProject(url))
        // As an ended process leaves it: a conversion in state 0 at its start.
        prosmgr.cp.setInfo2({ convert: testSpeechUrl, convert_status: 0, convert_cur: 0 })
        prosmgr.existProject()
        openPage({ mode: ProjectMainController.Record, projectUrl: url })
        var cp = prosmgr.cp
        tryVerify(function() { return cp.isRunning === 1 || cp.convertStatus() === 1 }, 30000)
        compare(cp.mode, ProjectMainController.Convert)
        tryVerify(function() { return cp.isRunning === 0 && cp.convertStatus() === 1 }, 30000)
    }

    // An interrupted conversion whose file is gone is never retried: the page
    // asks whether to discard it or keep it, and asks again next time.
    function test_missingFileOfInterruptedConversion_data() {
        return [ { tag: "discard", discard: true }, { tag: "keep", discard: false } ]
    }

    function test_missingFileOfInterruptedConversion(data) {
        var url = newProject("page gone " + data.tag)
        verify(prosmgr.enterProject(url))
        prosmgr.cp.setInfo2({ convert: testRootUrl + "/gone.wav", convert_status: 0, convert_cur: 0 })
        prosmgr.existProject()
        for (var round = 0; round < (data.discard ? 1 : 2); ++round) {
            cleanup()
            init()
            openPage({ mode: ProjectMainController.None, projectUrl: url })
            tryVerify(function() { return boxes.length === 1 }, 30000)
            compare(boxes[0].kind, "question")
            verify(boxes[0].text.indexOf("gone.wav") >= 0, boxes[0].text)
            if (data.discard)
                boxes[0].yes()
            var cp = prosmgr.cp
            compare(cp.isStarting, 0)
            compare(cp.isConvertingFile(), !data.discard)
            compare(cp.convertStatus(), data.discard ? 1 : 0)
        }
    }

    function test_lostTailThatCannotBeRecognised() {
        openPage({ mode: ProjectMainController.None, projectUrl: testLostTailUrl })
        tryVerify(function() { return boxes.length === 1 }, 30000)
        compare(boxes[0].kind, "critical")
        verify(boxes[0].text.indexOf("The end of the last recording could not be turned into text") === 0, boxes[0].text)
        verify(boxes[0].text.indexOf("the next opening of the project tries again") > 0, boxes[0].text)
        compare(prosmgr.cp.info("live_fstart"), 0)
    }

    function test_invalidProject() {
        openPage({ mode: ProjectMainController.Record, projectUrl: testRootUrl + "/no such project" })
        compare(boxes.length, 1)
        compare(boxes[0].kind, "critical")
        compare(boxes[0].text, "invalid project.")
        tryCompare(winroot, "navs", ["Projects.qml"])
        compare(prosmgr.cp, null)
    }

    function test_playBarSpeed() {
        verify(prosmgr.enterProject(newProject("speed")))
        var comp = Qt.createComponent("qrc:/PlayBar.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        var bar = comp.createObject(winroot, { cp: prosmgr.cp })
        var label = findChild(bar, "playSpeed")
        mouseClick(label)
        var menu = findChild(bar, "speedMenu")
        tryCompare(menu, "opened", true)
        mouseClick(findChild(menu.contentItem, "speed1.5"))
        compare(prosmgr.cp.speed, 1.5)
        tryCompare(menu, "opened", false)
        mouseClick(label)
        tryCompare(menu, "opened", true)
        mouseClick(findChild(menu.contentItem, "speed0.5"))
        compare(prosmgr.cp.speed, 0.5)
        bar.destroy()
    }

    function test_dockedViewsLoad_data() {
        return [ { tag: "horizontal", url: "qrc:/DockHorizontal.qml", bar: "dockHorizontalControlBar" },
                 { tag: "vertical", url: "qrc:/DockVertical.qml", bar: "dockVerticalControlBar" } ]
    }

    function test_dockedViewsLoad(data) {
        verify(prosmgr.enterProject(newProject("dock " + data.tag)))
        var comp = Qt.createComponent(data.url)
        verify(comp.status === Component.Ready, comp.errorString())
        var win = comp.createObject(null)
        verify(win !== null)
        var bar = findChild(win.contentItem, data.bar)
        verify(bar !== null)
        compare(findChild(bar, "pauseButton").text, "Pause")
        compare(findChild(bar, "backButton").text, "Return")
        // Not running: the highlight button takes a request for the next segment.
        mouseClick(findChild(bar, "highlightButton"))
        verify(prosmgr.cp.highlightLast)
        verify(!findChild(bar, "highlightButton").enabled)
        win.destroy()
    }

    function test_leavingWhileOpening() {
        var began = Date.now()
        openPage({ mode: ProjectMainController.None, projectUrl: testBigProjectUrl })
        tryVerify(function() { return !page.opening }, 60000)
        var took = Date.now() - began
        compare(page.convModel.rowCount(), 20001)
        compare(page.commentModel.rowCount(), 20000)
        page.destroy()
        page = null
        wait(50)

        // Left part-way: the models go while they are being filled (the
        // controller's part, opening the database, comes first and is short).
        openPage({ mode: ProjectMainController.None, projectUrl: testBigProjectUrl })
        wait(took / 3)
        page.destroy()
        page = null
        wait(100)
        compare(boxes.length, 0)
    }

    // A controller in the middle of a transcription, as the bar sees it.
    function liveController(startSecs) {
        return Qt.createQmlObject("import QtQuick 2.15; QtObject { property int isStarting: 0; property int isRunning: 1;"
            + " property int mode: 3; property int isPaused: 0; property bool highlightLast: false; property int devid: 2;"
            + " property real startSecs: " + startSecs + "; property int convertProgress: 0 }", winroot)
    }

    function liveBar(width) {
        var comp = Qt.createComponent("qrc:/ConversationControlBar.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        return comp.createObject(winroot, { cp: liveController(Math.floor(Date.now() / 1000) - 10), width: width })
    }

    function test_transcribeBarFits_data() {
        return [ { tag: "800", width: 800 }, { tag: "window at 1024", width: 824 }, { tag: "wide", width: 1400 } ]
    }

    function test_transcribeBarFits(data) {
        var bar = liveBar(data.width)
        waitForRendering(bar)
        var names = ["pauseButton", "stopButton", "highlightButton", "runClock", "sourceSpeaker", "sourceMicrophone",
                     "dockHorizontal", "dockVertical", "settingsButton"]
        var rects = []
        for (var i = 0; i < names.length; ++i) {
            var item = findChild(bar, names[i])
            verify(item.visible, names[i])
            var r = item.mapToItem(bar, 0, 0, item.width, item.height)
            verify(r.x >= 0 && r.y >= 0 && r.x + r.width <= bar.width && r.y + r.height <= bar.height, names[i])
            for (var j = 0; j < rects.length; ++j) {
                var o = rects[j]
                verify(r.x >= o.r.x + o.r.width || o.r.x >= r.x + r.width || r.y >= o.r.y + o.r.height || o.r.y >= r.y + r.height,
                       names[i] + " overlaps " + o.name)
            }
            rects.push({ name: names[i], r: r })
        }
        bar.destroy()
    }

    function test_clockStopsWhilePaused() {
        var bar = liveBar(1000)
        var clock = findChild(bar, "runClock")
        // Ten seconds since the start, or a little more on a slow machine.
        tryVerify(function() { return clock.text >= "00:00:10" && clock.text < "00:01:00" }, 3000)
        bar.cp.isPaused = 1
        var atPause = clock.text
        wait(2200)
        compare(clock.text, atPause)
        bar.cp.isPaused = 0
        compare(clock.text, atPause)
        bar.destroy()
    }
}
