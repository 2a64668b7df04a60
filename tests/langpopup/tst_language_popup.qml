import QtQuick 2.15
import QtTest 1.15

TestCase {
    id: tc
    name: "LanguagePopup"
    width: 900
    height: 700
    when: windowShown

    property var warnings: []
    property var infos: []

    // Stand-ins for the window's message box factory and window.
    Component {
        id: msgbox
        QtObject {
            function warning(title, text) { var w = tc.warnings.slice(); w.push(text); tc.warnings = w }
            function information(title, text) { tc.infos = tc.infos.concat([text]) }
        }
    }
    Item { id: winroot }

    function popup(props) {
        var comp = Qt.createComponent("qrc:/LanguageModelSettingPopup.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        var p = comp.createObject(tc, props || {})
        p.open()
        tryCompare(p, "opened", true)
        return p
    }

    function op(p, key) {
        var list = findChild(p.contentItem, "langList")
        list.positionViewAtBeginning()
        for (var i = 0; i < list.count; ++i) {
            list.positionViewAtIndex(i, 0)
            var o = findChild(list.contentItem, "op_" + key)
            if (o)
                return o
        }
        return null
    }

    function init() { warnings = []; infos = [] }

    function test_listAndSearch() {
        var p = popup({ curlang: "en-s" })
        var list = findChild(p.contentItem, "langList")
        compare(list.count, 24)
        var search = findChild(p.contentItem, "langSearch")
        search.forceActiveFocus()
        search.text = "Germ"
        keyClick(Qt.Key_Return)
        compare(list.count, 1)
        // Greek has only a large model.
        search.text = "Greek"
        keyClick(Qt.Key_Return)
        compare(list.count, 1)
        verify(!op(p, "gr-s").visible)
        verify(op(p, "gr-h").visible)
        p.close()
        p.destroy()
    }

    function test_installThenChoose() {
        var p = popup({ curlang: "fr-s" })
        var o = op(p, "en-s")
        verify(o)
        verify(findChild(o, "installBtn").visible)
        var before = fixture.requests()
        o.install(fixture.newPlace())
        verify(o.running)
        verify(findChild(o, "downloading").visible)
        tryCompare(o, "installed", true, 20000)
        compare(o.running, false)
        compare(o.err, "")
        compare(fixture.requests(), before + 1)
        compare(o.progress, 100)
        verify(langdb.isInstalled("en-s"))

        var check = findChild(o, "installedCheck")
        verify(check.visible)
        verify(!check.checked)
        mouseClick(check)
        compare(p.curlang, "en-s")
        compare(o.curlang, "en-s")
        verify(check.checked)
        // A click does not untick the chosen model.
        mouseClick(check)
        compare(p.curlang, "en-s")
        verify(check.checked)
        p.close()
        p.destroy()
    }

    function test_failureShowsError() {
        var p = popup({ curlang: "en-s" })
        var o = op(p, "de-s")
        o.install(fixture.newPlace())
        tryCompare(o, "running", false, 20000)
        compare(o.installed, false)
        verify(o.err.indexOf("error: CURL: ") === 0, o.err)
        var text = findChild(o, "installErr")
        verify(text.visible)
        compare(text.text, "Error: " + o.err)
        verify(findChild(o, "installBtn").visible)
        p.close()
        p.destroy()
    }

    // Closing the popup ends its downloads, and says so.
    function test_closingStopsDownload_data() {
        return [ { tag: "downloading", start: true }, { tag: "idle", start: false } ]
    }
    function test_closingStopsDownload(data) {
        verify(fixture.setSlow(true))
        var p = popup({ curlang: "fr-s" })
        var o = op(p, "en-h")
        verify(findChild(o, "installBtn").visible)
        if (data.start) {
            o.install(fixture.newPlace())
            verify(o.running)
        }
        p.close()
        compare(infos, data.start ? ["The download was stopped."] : [])
        p.destroy()
        wait(0)
        verify(fixture.setSlow(false))
        verify(!langdb.isInstalled("en-h"))
    }

    function test_largeModelNeedsMemory_data() {
        return [
            { tag: "too little", memory: 4e9, refused: true },
            { tag: "enough", memory: 16e9, refused: false }
        ]
    }
    function test_largeModelNeedsMemory(data) {
        var p = popup({ curlang: "en-s" })
        var o = op(p, "en-h")
        o.totalMemory = data.memory
        o.err = "old"
        mouseClick(findChild(o, "installBtn"))
        compare(warnings.length, data.refused ? 1 : 0)
        if (data.refused)
            compare(warnings[0], "Sorry, 8GB RAM is required to set higher accuracy language model.")
        // Only an accepted click clears the old error.
        compare(o.err, data.refused ? "old" : "")
        p.close()
        p.destroy()
    }

    function test_settingsFormOpensPopup() {
        var comp = Qt.createComponent("qrc:/ProjectSettingForm.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        var form = comp.createObject(tc, { lang: "en-s" })
        form.open()
        tryCompare(form, "opened", true)
        var p = form.openLanguages()
        tryCompare(p, "opened", true)
        compare(p.objectName, "languageModelSettingPopup")
        compare(p.curlang, "en-s")
        p.curlang = "de-h"
        compare(form.lang, "de-h")
        p.close()
        form.close()
        form.destroy()
    }
}
