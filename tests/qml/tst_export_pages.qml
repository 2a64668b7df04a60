import QtQuick 2.15
import QtTest 1.15

// ExportSetting.qml and ExportFileHandling.qml. Like the window, this test
// provides msgbox, winroot and navUtil, and records what the pages ask.
TestCase {
    id: winroot
    name: "ExportPages"
    width: 1000
    height: 700
    when: windowShown
    visible: true

    property var boxes: []
    property var navs: []

    QtObject {
        id: recorder
        function question(t, x, yes) { winroot.boxes = winroot.boxes.concat([{ text: x, yes: yes }]) }
    }
    QtObject {
        id: msgbox
        function createObject(parent) { return recorder }
    }
    QtObject {
        id: navUtil
        function push() { winroot.navs = winroot.navs.concat(["push"]) }
        function pop() { winroot.navs = winroot.navs.concat(["pop"]) }
        function nav(source, props) { winroot.navs = winroot.navs.concat([{ source: source, props: props }]) }
    }

    function init() {
        boxes = []
        navs = []
    }

    function create(file, props) {
        var comp = Qt.createComponent(file)
        verify(comp.status === Component.Ready, comp.errorString())
        var obj = comp.createObject(winroot, props)
        verify(obj !== null)
        return obj
    }

    function test_setting() {
        var url = prosmgr.createProject("Exported", testRootUrl, "en-s", 0.5)
        var form = create("qrc:/ExportSetting.qml", { projectUrls: [url] })
        var closed = signalSpy.createObject(winroot, { target: form, signalName: "closed" })
        form.folderChosen(testRootUrl)
        tryCompare(form, "opened", true)
        var types = findChild(form.contentItem, "exportTypeBox")
        compare(types.currentText, "Text Files(*.txt)")
        verify(types.find("HTML Files(*.html)") >= 0)
        // Every switch starts off.
        for (var name of ["withSpeakerSwitch", "withTimeSwitch", "withAudioSwitch", "withHLCMMTSwitch"])
            compare(findChild(form.contentItem, name).checked, false, name)
        findChild(form.contentItem, "withTimeSwitch").checked = true
        types.currentIndex = types.find("HTML Files(*.html)")

        form.save()
        compare(navs.length, 2)
        compare(navs[0], "push")
        compare(navs[1].source, "ExportFileHandling.qml")
        var p = navs[1].props
        compare(p.exportType, "HTML Files(*.html)")
        compare(p.saveRootUrl, testRootUrl)
        compare(p.projectUrls, [url])
        compare(p.settings, { withSpeaker: false, withTime: true, withAudio: false, withHLCMMT: false })
        tryCompare(closed, "count", 1)
    }

    // A project that was never opened has no database: its row fails, and
    // the batch ends.
    function test_progress() {
        var url = prosmgr.createProject("Never opened", testRootUrl, "en-s", 0.5)
        var page = create("qrc:/ExportFileHandling.qml", {
            width: 1000, height: 700, exportType: "Text Files(*.txt)", saveRootUrl: testRootUrl,
            projectUrls: [url, testRootUrl + "/none"], settings: { withAudio: true }
        })
        tryCompare(page.model, "totalFinished", true)
        compare(page.model.withAudio, true)
        compare(page.model.total, 2)
        compare(findChild(page, "batchTitle").text, "Exported Completed!")
        verify(findChild(page, "batchOk").visible)
        var errs = [page.model.data(page.model.index(0, 0), 2).err, page.model.data(page.model.index(1, 0), 2).err]
        verify(/data not exists\.$/.test(errs[0]), errs[0])
        compare(errs[1], "Read manifest failed.")

        // Leaving an ended batch asks nothing.
        var left = false
        page.nav(function() { left = true })
        verify(left)
        compare(boxes.length, 0)
        compare(navs, ["pop"])
        page.destroy()
    }

    Component {
        id: signalSpy
        SignalSpy {}
    }
}
