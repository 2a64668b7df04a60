import QtQuick 2.15
import QtTest 1.15

TestCase {
    id: tc
    name: "MessageBox"
    width: 800
    height: 600
    when: windowShown

    property var calls: []
    function record(name) { return function() { var c = calls.slice(); c.push(name); calls = c } }

    function box() {
        var comp = Qt.createComponent("qrc:/MessageBox.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        return comp.createObject(tc)
    }

    function button(b, name) {
        return findChild(b.contentItem, name)
    }

    function test_masks_data() {
        return [
            { tag: "information", fn: "information", shown: ["msgBtnOk"], mask: 1 },
            { tag: "suc", fn: "suc", shown: ["msgBtnOk"], mask: 1 },
            { tag: "critical", fn: "critical", shown: ["msgBtnOk"], mask: 1 },
            { tag: "warning", fn: "warning", shown: ["msgBtnOk"], mask: 1 },
            { tag: "question", fn: "question", shown: ["msgBtnYes", "msgBtnNo"], mask: 12 }
        ]
    }

    function test_masks(data) {
        var b = box()
        b[data.fn]("T", "text")
        tryCompare(b, "opened", true)
        compare(b.buttons, data.mask)
        var all = ["msgBtnOk", "msgBtnCancel", "msgBtnYes", "msgBtnNo"]
        for (var i = 0; i < all.length; ++i)
            compare(button(b, all[i]).visible, data.shown.indexOf(all[i]) >= 0, all[i])
        b.close()
    }

    function test_buttonsCallTheirFunction_data() {
        return [
            { tag: "yes", btn: "msgBtnYes", expected: ["yes"] },
            { tag: "no", btn: "msgBtnNo", expected: ["no"] }
        ]
    }

    function test_buttonsCallTheirFunction(data) {
        calls = []
        var b = box()
        var closed = Qt.createQmlObject("import QtTest 1.15; SignalSpy { signalName: 'closed' }", tc)
        closed.target = b
        b.question("", "Sure?", record("yes"), record("no"))
        tryCompare(b, "opened", true)
        waitForRendering(b.contentItem)
        mouseClick(button(b, data.btn))
        compare(calls, data.expected)
        tryCompare(closed, "count", 1)
        closed.destroy()
    }

    function test_okWithoutFunction() {
        var b = box()
        b.information("", "plain")
        tryCompare(b, "opened", true)
        waitForRendering(b.contentItem)
        mouseClick(button(b, "msgBtnOk"))
        tryCompare(b, "visible", false)
    }

    function test_texts() {
        var b = box()
        b.warning("Title", "Body")
        compare(b.shownText, "<b>Title</b><br/><br/>Body")
        b.information("", "Body only")
        compare(b.shownText, "Body only")
        b.critical("", "disk full")
        compare(b.shownText, "<b>Kalvinor Audio To Text Converter v3.1.5</b><br/><br/>An Error Occurred. <br/><br/>disk full")
        b.critical("Mine", "x")
        compare(b.title, "Mine")
        b.close()
    }

    function test_userTextIsPlain() {
        var b = box()
        var crafted = "<a href=\"http://127.0.0.1:9/\">here</a><img src=\"http://127.0.0.1:9/x.png\"/> & co"
        b.critical(crafted, "invalid manifest value " + crafted + "\nsecond line")
        var shown = b.shownText
        verify(!/<a |<img/i.test(shown), shown)
        verify(shown.indexOf("&lt;a href=&quot;http://127.0.0.1:9/&quot;&gt;here&lt;/a&gt;") >= 0, shown)
        verify(shown.indexOf("&amp; co<br/>second line") >= 0, shown)
        // The box's own words keep their form.
        verify(shown.indexOf("An Error Occurred. <br/><br/>invalid manifest value") >= 0, shown)
        b.close()
    }

    function test_escapeAnswersAsTheWayOut_data() {
        return [
            { tag: "information", fn: "information", expected: ["ok"] },
            { tag: "question", fn: "question", expected: ["no"] }
        ]
    }

    function test_escapeAnswersAsTheWayOut(data) {
        calls = []
        var b = box()
        var closed = Qt.createQmlObject("import QtTest 1.15; SignalSpy { signalName: 'closed' }", tc)
        closed.target = b
        if (data.fn === "question")
            b.question("", "Sure?", record("yes"), record("no"))
        else
            b.information("", "obsolete", record("ok"))
        tryCompare(b, "opened", true)
        keyClick(Qt.Key_Escape)
        compare(calls, data.expected)
        tryCompare(closed, "count", 1)
        closed.destroy()
    }
}
