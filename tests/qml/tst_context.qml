import QtQuick 2.15
import QtTest 1.15
import ProjectsMgr 1.0
import LangDb 1.0
import InitablesThread 1.0
import CheckUpdateThread 1.0

TestCase {
    name: "Context"

    function test_constants_data() {
        return [
            { tag: "PROD_NAME", value: PROD_NAME, expected: "Kalvinor Audio To Text Converter" },
            { tag: "PROD_VER", value: PROD_VER, expected: "3.1.5" },
            { tag: "PROD_VERID", value: PROD_VERID, expected: 5 },
            { tag: "PROD_UID", value: PROD_UID, expected: "kalvinor_audio2text_win" },
            { tag: "FONTSIZE_TITLE1", value: FONTSIZE_TITLE1, expected: 20 },
            { tag: "FONTSIZE_TITLE", value: FONTSIZE_TITLE, expected: 17 },
            { tag: "FONTSIZE_DEF", value: FONTSIZE_DEF, expected: 14 },
            { tag: "FONTSIZE_SUB", value: FONTSIZE_SUB, expected: 13 },
            { tag: "FONTSIZE_SUB2", value: FONTSIZE_SUB2, expected: 11 },
            { tag: "FONTSIZE_SUB3", value: FONTSIZE_SUB3, expected: 9 },
            { tag: "TEXTCOLOR_MAIN", value: TEXTCOLOR_MAIN, expected: "black" },
            { tag: "TEXTCOLOR_MAIN2", value: TEXTCOLOR_MAIN2, expected: "#333333" },
            { tag: "FONTFAMILY_MAIN", value: FONTFAMILY_MAIN, expected: "Arial" }
        ]
    }

    function test_constants(data) {
        compare(data.value, data.expected)
        compare(typeof data.value, typeof data.expected)
    }

    function test_objects() {
        verify(engine !== null && engine !== undefined)
        compare(prosmgr.hasLoopBackDevices(), true)
        compare(prosmgr.lastErr, "")
        compare(langdb.display("en-s"), "English(Standard Accuracy)")
        settings.put("ctxKey", "v1")
        compare(settings.get("ctxKey"), "v1")
        compare(settings.get("noSuchKey"), undefined)
        compare(baseutil.fileName("file:///a/b/talk.mp3"), "talk.mp3")
    }

    function test_registeredTypes_data() {
        return [
            { tag: "ProjectsMgr", src: "import ProjectsMgr 1.0; ProjectsMgr {}", prop: "lastErr" },
            { tag: "LangDb", src: "import LangDb 1.0; LangDb {}", prop: "display" },
            { tag: "InitablesThread", src: "import InitablesThread 1.0; InitablesThread {}", prop: "inits" },
            { tag: "CheckUpdateThread", src: "import CheckUpdateThread 1.0; CheckUpdateThread {}", prop: "requireUpdate" }
        ]
    }

    function test_registeredTypes(data) {
        var obj = Qt.createQmlObject(data.src, this)
        verify(obj !== null)
        verify(data.prop in obj)
        obj.destroy()
    }

    function test_translation() {
        compare(qsTr("IDS_PLEASE_SET_LANGUAGE"), "Please select language.")
        compare(qsTr("IDS_CONFIRM_CANCEL?"), "Are you sure you want to cancel?")
        compare(qsTr("IDS_SELECT_PROJECT_SAVE_PATH"), "Select a file path to save project")
        compare(qsTr("Not an identifier"), "Not an identifier")
    }

    function test_initablesThreadFromQml() {
        var t = Qt.createQmlObject("import InitablesThread 1.0; InitablesThread {}", this)
        var spy = Qt.createQmlObject("import QtTest 1.15; SignalSpy { signalName: 'initFinished' }", this)
        spy.target = t
        t.inits = [prosmgr]     // a QObject without the interface
        t.start()
        spy.wait(5000)
        compare(spy.count, 1)
        compare(spy.signalArguments[0][0], false)
        compare(spy.signalArguments[0][1], "invalid Initable.")
        t.destroy()
    }
}
