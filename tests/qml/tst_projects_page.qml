import QtQuick 2.15
import QtTest 1.15

// Projects.qml with the real catalogue: this test stands in for the window
// (msgbox, winroot) and for the navigation, which loads the pages asked for.
TestCase {
    id: winroot
    name: "ProjectsPage"
    width: 1000
    height: 700
    when: windowShown
    visible: true

    property var boxes: []
    property var page: null
    // Published by the project page for its docks.
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
        id: navUtil
        function nav(source, props) { winroot.show(source, props) }
    }

    function show(source, props) {
        if (page)
            page.destroy()
        var comp = Qt.createComponent("qrc:/" + source)
        verify(comp.status === Component.Ready, comp.errorString())
        props = props || {}
        props.width = 1000
        props.height = 700
        page = comp.createObject(winroot, props)
        verify(page !== null)
    }

    function init() {
        boxes = []
    }

    function cleanup() {
        conversationsItemModel = null
        if (page) {
            page.destroy()
            page = null
        }
        prosmgr.existProject()
    }

    function newProject(name) {
        var url = prosmgr.createProject(name, testRootUrl, "en-s", 0.5)
        verify(url !== "", prosmgr.lastErr)
        return url
    }

    // The newest project is the first row.
    function firstRow() {
        show("Projects.qml")
        var row = null
        tryVerify(function() { row = findChild(page, "project_0"); return row !== null && row.width > 0 })
        return row
    }

    function test_clickEntersProject() {
        var url = newProject("opened from the list")
        var row = firstRow()
        compare(findChild(row, "projectName").text, "opened from the list")
        mouseClick(row, row.width / 2, row.height / 2)
        compare(page.objectName, "mainContentFrame")
        verify(prosmgr.cp !== null)
        compare(prosmgr.cp.projectName, "opened from the list")
        compare(prosmgr.cp.projectUrl, url)
        tryVerify(function() { return !page.opening })
        compare(boxes.length, 0)
    }

    function test_interruptedConversionResumes() {
        var url = newProject("interrupted")
        verify(prosmgr.enterProject(url))
        // As a process killed during the conversion leaves it.
        prosmgr.cp.setInfo2({ convert: testSpeechUrl, convert_status: 0, convert_cur: 0 })
        prosmgr.existProject()

        var row = firstRow()
        compare(findChild(row, "projectName").text, "interrupted")
        compare(String(findChild(row, "projectName").color), "#808080")
        mouseClick(row, row.width / 2, row.height / 2)
        compare(page.objectName, "mainContentFrame")
        var cp = prosmgr.cp
        tryVerify(function() { return cp.isRunning === 1 || cp.convertStatus() === 1 }, 30000)
        tryVerify(function() { return cp.isRunning === 0 && cp.convertStatus() === 1 }, 30000)
        compare(boxes.length, 0)

        row = firstRow()
        compare(String(findChild(row, "projectName").color), "#333333")
    }

    // The row's tick box shows under the mouse.
    function tickUnderMouse(row, tick) {
        mouseMove(row, row.width / 2, row.height / 2)
        tryVerify(function() { return tick.visible })
        mouseClick(tick)
    }

    function test_tickAndDelete() {
        newProject("kept")
        var url = newProject("deleted")
        verify(prosmgr.enterProject(url))
        var row = firstRow()
        var tick = findChild(row, "projectTick")
        verify(!findChild(page, "deleteBtn").enabled)
        var tickAll = findChild(page, "tickAll")
        verify(!tickAll.visible)
        tickUnderMouse(row, tick)
        compare(page.model.checkedCount, 1)
        verify(tickAll.visible)
        verify(!tickAll.checked)
        var count = page.list.count
        // The tool row moves over for the box that just appeared.
        waitForItemPolished(tickAll.parent)
        mouseClick(tickAll)
        compare(page.model.checkedCount, count)
        verify(tickAll.checked)
        mouseClick(tickAll)
        compare(page.model.checkedCount, 0)
        verify(!tick.checked)
        verify(!tickAll.visible)
        tickUnderMouse(row, tick)

        mouseClick(findChild(page, "deleteBtn"))
        compare(boxes.length, 1)
        compare(boxes[0].text, "Are you sure you want to delete the selected projects?")
        boxes[0].yes()
        compare(boxes.length, 1)
        compare(prosmgr.cp, null)
        compare(page.list.count, count - 1)
        compare(page.model.checkedCount, 0)
        verify(!tickAll.visible)
        compare(page.model.data(page.model.index(0, 0), 2).name, "kept")
        verify(!prosmgr.enterProject(url))
    }

    function test_importShowsWhyItFailed() {
        show("Projects.qml")
        verify(!page.importFolder(testRootUrl + "/no such folder"))
        compare(boxes.length, 1)
        compare(boxes[0].kind, "critical")
        compare(boxes[0].text, testRootUrl.replace("file://", "") + "/no such folder/manifest not exists.")
    }
}
