import QtQuick 2.15
import QtTest 1.15
import ProjectMainController 1.0

// A model installed from the endpoint through the popup converts a spoken
// file on the project page. Provides the window's msgbox, toast, navUtil and
// winroot, as the pages expect them.
TestCase {
    id: winroot
    name: "InstallConvert"
    width: 1000
    height: 700
    when: windowShown
    visible: true

    property var boxes: []
    property var conversationsItemModel: null
    property var page: null
    property string place: ""

    // Also after a failure: the popup cases expect the catalogue without
    // the model installed here.
    function cleanup() {
        conversationsItemModel = null
        if (page) {
            page.destroy()
            page = null
        }
        prosmgr.existProject()
        if (place !== "") {
            verify(fixture.removePlace(place))
            place = ""
        }
        verify(!langdb.isInstalled("en-s"))
    }

    QtObject {
        id: recorder
        function add(kind, text) { var b = winroot.boxes.slice(); b.push({ kind: kind, text: text }); winroot.boxes = b }
        function information(t, x) { add("information", x) }
        function warning(t, x) { add("warning", x) }
        function critical(t, x) { add("critical", x) }
        function question(t, x, yes, no) { add("question", x) }
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
        function nav(source, props) {}
    }

    function op(p, key) {
        var list = findChild(p.contentItem, "langList")
        for (var i = 0; i < list.count; ++i) {
            list.positionViewAtIndex(i, 0)
            var o = findChild(list.contentItem, "op_" + key)
            if (o)
                return o
        }
        return null
    }

    function test_installedModelConverts() {
        verify(!langdb.isInstalled("en-s"))

        var comp = Qt.createComponent("qrc:/LanguageModelSettingPopup.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        var p = comp.createObject(winroot, { curlang: "fr-s" })
        p.open()
        tryCompare(p, "opened", true)
        var o = op(p, "en-s")
        verify(o)
        place = fixture.newPlace()
        o.install(place)
        tryCompare(o, "running", false, 20000)
        compare(o.err, "")
        verify(o.installed)
        verify(langdb.isInstalled("en-s"))
        p.close()
        p.destroy()

        var url = prosmgr.createProject("installed model", fixture.rootUrl(), "en-s", 0.5)
        verify(url !== "", prosmgr.lastErr)
        var frame = Qt.createComponent("qrc:/MainContentFrame.qml")
        verify(frame.status === Component.Ready, frame.errorString())
        page = frame.createObject(winroot, { width: 1000, height: 700, mode: ProjectMainController.Convert,
                                                 projectUrl: url, convertFileUrl: fixture.speechUrl() })
        verify(page !== null)
        var cp = prosmgr.cp
        verify(cp !== null)
        tryVerify(function() { return findChild(page, "conversationList") !== null
                               && cp.isRunning === 0 && cp.isStarting === 0 }, 30000)
        var list = findChild(page, "conversationList")
        tryCompare(list, "count", 2)
        compare(cp.convertStatus(), 1)
        list.positionViewAtIndex(0, ListView.Contain)
        var text = findChild(findChild(list, "msg_0"), "messageEdit")
        verify(String(text.text).indexOf("one two three") >= 0, text.text)
        compare(boxes.length, 0)
    }
}
