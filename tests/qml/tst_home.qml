import QtQuick 2.15
import QtTest 1.15

// Home.qml finds msgbox, winroot and navUtil in the window that holds it;
// this test stands in for them and records what the page asks of them.
TestCase {
    id: winroot
    name: "Home"
    width: 1000
    height: 700
    when: windowShown

    property var boxes: []
    property var navs: []

    QtObject {
        id: recorder
        function add(kind, title, text) { var b = winroot.boxes.slice(); b.push({ kind: kind, title: title, text: text }); winroot.boxes = b }
        function information(t, x) { add("information", t, x) }
        function warning(t, x) { add("warning", t, x) }
        function critical(t, x) { add("critical", t, x) }
    }
    QtObject {
        id: msgbox
        function createObject(parent) { return recorder }
    }
    QtObject {
        id: navUtil
        function nav(source, props) { var n = winroot.navs.slice(); n.push({ source: source, props: props }); winroot.navs = n }
    }

    property var home: null

    function init() {
        boxes = []
        navs = []
        var comp = Qt.createComponent("qrc:/Home.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        home = comp.createObject(winroot, { width: 1000, height: 700 })
    }

    function cleanup() {
        home.destroy()
    }

    function test_validation_data() {
        return [
            { tag: "no language", lang: "", name: "P", root: "", kind: "warning", text: "Please select language." },
            { tag: "no name", lang: "en-s", name: "", root: "", kind: "warning", text: "Please enter project name" },
            { tag: "bad root", lang: "en-s", name: "P", root: "file:///proc/kalvinor-none", kind: "critical",
              text: "An Error Occurred" }
        ]
    }

    function test_validation(data) {
        var form = home.openSettings(home.modeRecord, [])
        form.lang = data.lang
        form.projectName = data.name
        if (data.root !== "")
            form.projectRoot = data.root
        form.okPressed()
        compare(boxes.length, 1)
        compare(boxes[0].kind, data.kind)
        if (data.kind === "critical")
            compare(boxes[0].text, "create project /proc/kalvinor-none/P failed.")
        else
            compare(boxes[0].text, data.text)
        compare(navs.length, 0)
        verify(form.opened || form.visible)
        form.close()
    }

    function test_recordCreatesAndOpensProject() {
        var form = home.openSettings(home.modeRecord, [])
        compare(form.projectRoot, prosmgr.defaultRootUrl())
        compare(form.showProjectName, true)
        form.lang = "en-s"
        form.projectName = "Interview"
        form.okPressed()
        compare(boxes.length, 0)
        compare(navs.length, 1)
        compare(navs[0].source, "MainContentFrame.qml")
        compare(navs[0].props.mode, 1)
        compare(navs[0].props.convertFileUrl, "")
        verify(String(navs[0].props.projectUrl).indexOf("/kalvinor-audio2text-projects/Interview") > 0)
        compare(settings.get("lang"), "en-s")
    }

    function test_languageWithoutModel() {
        var form = home.openSettings(home.modeRecord, [])
        form.lang = "de-h"
        form.projectName = "No model"
        form.okPressed()
        compare(boxes.length, 1)
        compare(boxes[0].kind, "warning")
        verify(boxes[0].text.indexOf("not installed") >= 0, boxes[0].text)
        compare(navs.length, 0)
        verify(form.languagePopup !== null)
        tryCompare(form.languagePopup, "opened", true)
        // No folder was made: the name is still free.
        var url = decodeURIComponent(prosmgr.createProject("No model", form.projectRoot, "en-s", 0.5))
        verify(/\/No model$/.test(url), url)
        form.languagePopup.close()
        form.close()
    }

    function test_convertOneFile() {
        var form = home.openSettings(home.modeConvert, ["file:///tmp/media/talk.mp3"])
        compare(form.projectName, "Convert-talk.mp3")
        compare(form.showProjectName, true)
        form.lang = "en-s"
        form.okPressed()
        compare(navs.length, 1)
        compare(navs[0].props.mode, 2)
        compare(navs[0].props.convertFileUrl, "file:///tmp/media/talk.mp3")
    }

    function test_convertSeveralFiles() {
        var files = ["file:///tmp/a.wav", "file:///tmp/b.wav"]
        var form = home.openSettings(home.modeConvert, files)
        compare(form.showProjectName, false)
        form.lang = "en-s"
        form.projectName = ""     // no name needed for a batch
        form.speechRate = 0.3
        form.okPressed()
        compare(boxes.length, 0)
        compare(navs.length, 1)
        compare(navs[0].source, "ConvertFilesHandling.qml")
        compare(navs[0].props.convertFiles.length, 2)
        compare(navs[0].props.lang, "en-s")
        compare(navs[0].props.rootUrl, form.projectRoot)
        compare(navs[0].props.speechRate, 0.3)
    }

    function test_formDefaultsToSavedLanguage() {
        settings.put("lang", "fr-s")
        var form = home.openSettings(home.modeRecord, [])
        compare(form.lang, "fr-s")
        compare(form.langDisplay, langdb.display("fr-s"))
        compare(form.speechRate, 0.5)
        form.close()
    }
}
