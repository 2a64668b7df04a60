import QtQuick 2.15
import QtTest 1.15

// ConvertFilesHandling.qml converting real files. Like the window, this test
// provides msgbox, winroot and navUtil; its navUtil asks the page before
// leaving it, as the real one does.
TestCase {
    id: winroot
    name: "ConvertFilesPage"
    width: 1000
    height: 700
    when: windowShown
    visible: true

    property var boxes: []
    property var navs: []
    property var page: null

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
        id: navUtil
        function nav(source, props) {
            var go = function() { var n = winroot.navs.slice(); n.push(source); winroot.navs = n }
            if (winroot.page && typeof winroot.page.nav === "function")
                winroot.page.nav(go)
            else
                go()
        }
    }

    function init() {
        boxes = []
        navs = []
    }

    function cleanup() {
        if (page) {
            page.destroy()
            page = null
        }
    }

    function openPage(files) {
        var comp = Qt.createComponent("qrc:/ConvertFilesHandling.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        page = comp.createObject(winroot, { width: 1000, height: 700, convertFiles: files, lang: "en-s",
                                            rootUrl: testRootUrl, speechRate: 0.5 })
        verify(page !== null)
        return page
    }

    function text(name) { return findChild(page, name).text }
    function row(i) { return findChild(findChild(page, "batchList"), "batchRow_" + i) }

    function test_totalsRowsAndOk() {
        var missing = testRootUrl + "/none/gone.mp3"
        openPage([testSpeechUrl, missing])
        compare(text("batchTitle"), "Batch converting files...")
        compare(text("batchTotals"), "Total: 0 / 2")
        compare(findChild(page, "batchList").count, 2)
        verify(findChild(page, "batchCancel").visible)
        verify(!findChild(page, "batchOk").visible)

        tryCompare(page.model, "totalFinished", true, 30000)
        compare(text("batchTitle"), "Converted Completed!")
        compare(text("batchTotals"), "Total: 2 / 2")
        verify(!findChild(page, "batchCancel").visible)
        var ok = findChild(page, "batchOk")
        verify(ok.visible)
        verify(!findChild(row(0), "batchErr").visible)
        compare(row(0).job.name, "File: speech.wav")
        compare(row(0).job.status, 1)
        var err = findChild(row(1), "batchErr")
        verify(err.visible)
        compare(err.text, testRootUrl.replace("file://", "") + "/none/gone.mp3 not exists.")

        mouseClick(ok)
        compare(boxes.length, 0)
        compare(navs, ["Projects.qml"])
    }

    function test_leavingWhileConverting_data() {
        return [
            { tag: "Cancel button", question: "Are you sure you want to cancel?" },
            { tag: "leaving the page", question: "A file is converting. Do you want to stop?" }
        ]
    }

    // One question, then the batch is canceled and the page left.
    function test_leavingWhileConverting(data) {
        openPage([testLongSpeechUrl, testSpeechUrl])
        tryVerify(function() { return row(0) && row(0).job.progress > 0 }, 30000)
        if (data.tag === "Cancel button")
            mouseClick(findChild(page, "batchCancel"))
        else
            navUtil.nav("Home.qml", {})
        compare(boxes.length, 1)
        compare(boxes[0].text, data.question)
        compare(navs.length, 0)
        verify(!page.model.isCanceled())

        boxes[0].yes()
        verify(page.model.isCanceled())
        compare(boxes.length, 1)
        compare(navs.length, 1)
        compare(row(1).job.status, 0)
        verify(!page.model.totalFinished)
    }
}
