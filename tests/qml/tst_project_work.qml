import QtQuick 2.15
import QtTest 1.15

// What the user types, highlights and comments in a project is there when
// the project opens again: in the program's window, left the ways a user
// leaves, and in a new window after the process ended (no destructor runs
// then, nothing is asked).
TestCase {
    id: tc
    name: "ProjectWork"
    when: windowShown

    property var win: null
    property int quits: 0

    // The window ends the program through engine.quit(); here it only counts.
    QtObject {
        id: engine
        function quit() { ++tc.quits }
    }

    function navUtil() { return findChild(win.contentItem, "navUtil") }
    // In the window's frame, or else on the current page.
    function find(name) { return findChild(win.contentItem, name) || findChild(navUtil().currentPage, name) }

    function openProject(url) {
        if (!win) {
            var comp = Qt.createComponent("qrc:/main.qml")
            verify(comp.status === Component.Ready, comp.errorString())
            win = comp.createObject(null)
            win.requestActivate()
            tryVerify(function() { return win.active && navUtil().currentPage !== null })
        }
        navUtil().nav("MainContentFrame.qml", { projectUrl: url })
        var page = null
        tryVerify(function() { page = navUtil().currentPage
                               return page.objectName === "mainContentFrame" && !page.opening
                                   && findChild(page, "conversationList") !== null }, 10000)
        return page
    }

    function endProcess() {
        win.destroy()
        win = null
    }

    function cleanup() {
        if (win)
            endProcess()
    }

    function row(i) {
        var list = findChild(navUtil().currentPage, "conversationList")
        list.positionViewAtIndex(i, ListView.Contain)
        return findChild(list, "msg_" + i)
    }

    function typeInto(item, text, replace) {
        mouseClick(item, 3, item.height / 2)
        tryVerify(function() { return item.activeFocus })
        if (replace)
            item.selectAll()
        else
            item.cursorPosition = item.length
        for (var i = 0; i < text.length; ++i)
            keyClick(text[i])
    }

    // Each editor: how the user changes it, whether the files hold the
    // change, and whether the page shows it.
    readonly property var fields: ({
        message: { edit: function() { typeInto(findChild(row(0), "messageEdit"), " kept", false) },
                   stored: function(url) { return testProjects.stored(url).message.indexOf("alpha kept") >= 0 },
                   shown: function() { var e = findChild(row(0), "messageEdit"); return e.getText(0, e.length).indexOf("alpha kept") >= 0 } },
        speaker: { edit: function() { typeInto(findChild(row(0), "speakerName"), "Ann", true) },
                   stored: function(url) { return testProjects.stored(url).speaker === "Ann" },
                   shown: function() { return findChild(row(0), "speakerName").text === "Ann" } },
        projectName: { edit: function() { typeInto(find("projectNameEdit"), "Renamed", true) },
                       stored: function(url) { return testProjects.stored(url).name === "Renamed" },
                       shown: function() { return find("projectNameEdit").text === "Renamed" } }
    })

    readonly property var ways: ({
        projects: function() { mouseClick(find("menuProjects")); tryCompare(navUtil(), "currentSource", "Projects.qml") },
        home: function() { mouseClick(find("menuHome")); tryCompare(navUtil(), "currentSource", "Home.qml") },
        close: function() { var before = quits; win.close(); compare(quits, before + 1) },
        otherRow: function() { mouseClick(findChild(row(1), "messageEdit"), 3, 3) },
        pause: function(page) {
            var list = findChild(page, "conversationList")
            mouseClick(list, list.width / 2, list.height - 5)
        },
        run: function(page) {
            page.cp.convertFileUrl = testSpeechUrl
            page.cp.startConvert()
            tryVerify(function() { return page.cp.isRunning === 0 && page.cp.isStarting === 0 }, 30000)
        },
        export: function() { mouseClick(find("exportBtn")) }
    })

    function test_editsSurviveEveryWayOut_data() {
        return [
            { tag: "message, Projects", field: "message", way: "projects" },
            { tag: "message, Home", field: "message", way: "home" },
            { tag: "message, closing the window", field: "message", way: "close" },
            { tag: "message, another row", field: "message", way: "otherRow" },
            { tag: "message, empty space", field: "message", way: "pause" },
            { tag: "message, a run starting", field: "message", way: "run" },
            { tag: "message, an export starting", field: "message", way: "export" },
            { tag: "speaker, Projects", field: "speaker", way: "projects" },
            { tag: "speaker, closing the window", field: "speaker", way: "close" },
            { tag: "project name, Home", field: "projectName", way: "home" },
            { tag: "project name, a run starting", field: "projectName", way: "run" }
        ]
    }

    function test_editsSurviveEveryWayOut(data) {
        var url = testProjects.make("edits " + data.tag, ["alpha", "beta"])
        verify(url !== "")
        var page = openProject(url)
        fields[data.field].edit()
        ways[data.way](page)
        // Stored before the process can end: at once, or after the pause.
        if (data.way === "pause")
            tryVerify(function() { return fields[data.field].stored(url) }, 3000)
        else
            verify(fields[data.field].stored(url))
        endProcess()
        openProject(url)
        verify(fields[data.field].shown())
    }

    // The items the pane lists, after opening it by its handle when it is hidden.
    function paneTexts() {
        var page = navUtil().currentPage
        if (!page.takeawaysOpen)
            mouseClick(findChild(page, "takeawaysHandle"))
        var list = findChild(page, "takeawaysList")
        tryVerify(function() { return list.width > 100 })
        var texts = []
        for (var i = 0; i < list.count; ++i) {
            list.positionViewAtIndex(i, ListView.Contain)
            texts.push(findChild(findChild(list, "takeaway_" + i), "itemText").text.trim())
        }
        return texts
    }

    function test_highlightsAndCommentsAfterReopening() {
        var url = testProjects.make("takeaways", ["alpha beta", "gamma"])
        openProject(url)
        var edit = findChild(row(0), "messageEdit")
        mouseClick(edit, 3, edit.height / 2)
        var at = edit.getText(0, edit.length).indexOf("alpha")
        edit.select(at, at + 5)
        mouseClick(find("highlightBtn"))
        mouseClick(findChild(row(1), "messageEdit"), 3, 3)
        mouseClick(find("commentBtn"))
        compare(paneTexts(), ["gamma", "alpha"])

        mouseClick(find("menuProjects"))
        openProject(url)
        compare(paneTexts(), ["gamma", "alpha"])

        endProcess()
        openProject(url)
        compare(paneTexts(), ["gamma", "alpha"])
    }
}
