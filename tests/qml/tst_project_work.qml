import QtQuick 2.15
import QtTest 1.15
import ProjectMainController 1.0

// What the user types, highlights and comments is there when the project
// opens again: in the program's window, and in a new one after the process
// ended (then no destructor runs and nothing is asked).
TestCase {
    id: tc
    name: "ProjectWork"
    when: windowShown

    property var win: null
    // The window ends the program through engine.quit(); here it only counts.
    property int quits: 0
    QtObject { id: engine; function quit() { ++tc.quits } }

    function navUtil() { return findChild(win.contentItem, "navUtil") }
    function find(name) { return findChild(win.contentItem, name) || findChild(navUtil().currentPage, name) }
    // Row i as the list lays it out: a search by name may find one it let go.
    function row(i) { var list = find("conversationList"); return list ? list.itemAtIndex(i) : null }
    function endProcess() { win.destroy(); win = null }
    function cleanup() { if (win) endProcess() }

    function openProject(url, props, height) {
        if (!win) {
            win = Qt.createComponent("qrc:/main.qml").createObject(null)
            win.requestActivate()
            tryVerify(function() { return win.active && navUtil().currentPage !== null })
        }
        win.height = height || win.height
        // The window system resizes a moment later: a page opened before
        // that stands at its end in the old size, its last rows cut off.
        tryVerify(function() { return win.contentItem.height === win.height })
        navUtil().nav("MainContentFrame.qml", Object.assign({ projectUrl: url }, props))
        var page = null
        tryVerify(function() { page = navUtil().currentPage
                               return !page.opening && findChild(page, "conversationList") !== null
                                   && page.cp.isStarting === 0 && page.cp.isRunning === 0 }, 30000)
        return page
    }

    // A new project with the spoken test file converted: one segment.
    function convertedProject(name) {
        var url = prosmgr.createProject(name, testRootUrl, "en-s", 0.5)
        compare(openProject(url, { mode: ProjectMainController.Convert, convertFileUrl: testSpeechUrl }).convModel.rowCount(), 2)
        return url
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

    // How the user changes each editor, and whether the page's models (which
    // follow the files) hold the change.
    readonly property var fields: ({
        message: { edit: function() { typeInto(findChild(row(0), "messageEdit"), " kept") },
                   stored: function(page) { return baseutil.html2text(page.convModel.data(page.convModel.index(0, 0), 261)).indexOf(" kept") >= 0 } },
        speaker: { edit: function() { typeInto(findChild(row(0), "speakerName"), "Ann", true) },
                   stored: function(page) { return page.convModel.data(page.convModel.index(0, 0), 262) === "Ann" } },
        projectName: { edit: function() { typeInto(find("projectNameEdit"), "Renamed", true) },
                       stored: function(page) { return page.cp.projectName === "Renamed" } }
    })

    readonly property var ways: ({
        projects: function() { mouseClick(find("menuProjects")) },
        home: function() { mouseClick(find("menuHome")) },
        close: function() { win.close(); compare(quits, 1); quits = 0 },
        emptySpace: function() { var l = find("conversationList"); mouseClick(l, l.width / 2, l.height - 5) },
        run: function(page) { page.cp.startConvert(); tryVerify(function() { return page.cp.isRunning === 0 }, 30000) },
        export: function() { mouseClick(find("exportBtn")) }
    })

    function test_editsSurviveEveryWayOut_data() {
        return [["message", "projects"], ["message", "home"], ["message", "close"], ["message", "emptySpace"],
                ["message", "run"], ["message", "export"], ["speaker", "projects"], ["speaker", "close"],
                ["projectName", "home"], ["projectName", "run"]]
            .map(function(r) { return { tag: r[0] + ", " + r[1], field: r[0], way: r[1] } })
    }

    function test_editsSurviveEveryWayOut(data) {
        var url = convertedProject("edits " + data.tag)
        var page = navUtil().currentPage
        fields[data.field].edit()
        ways[data.way](page)
        // Stored before the process can end: at once, or after a short pause.
        if (navUtil().currentPage !== page)
            page = openProject(url)
        if (data.way === "emptySpace")
            tryVerify(function() { return fields[data.field].stored(page) }, 3000)
        else
            verify(fields[data.field].stored(page))
        endProcess()
        verify(fields[data.field].stored(openProject(url)))
    }

    // The click that completes a double click on a project's name stays off
    // the page it opens, whose name field lies under it; the next key goes
    // to the current row.
    function test_doubleClickOnNameOpensOnly() {
        convertedProject("Convert-meeting")
        mouseClick(find("menuProjects"))
        var name = null
        tryVerify(function() { name = findChild(find("project_0"), "projectName"); return name !== null && name.width > 0 })
        var at = name.mapToItem(null, name.contentWidth * 0.8, name.height / 2)
        windowMouse.click(win, at, false)
        var page = navUtil().currentPage
        tryVerify(function() { return !page.opening && row(0) !== null }, 30000)
        var nameEdit = find("projectNameEdit")
        verify(nameEdit.contains(nameEdit.mapFromItem(null, at.x, at.y)))
        windowMouse.click(win, at, true)
        verify(findChild(row(0), "messageEdit").activeFocus)
        keyClick("Q")
        compare(nameEdit.text, "Convert-meeting")
        mouseClick(find("menuProjects"))
        tryVerify(function() { name = findChild(find("project_0"), "projectName"); return name !== null })
        compare(name.text, "Convert-meeting")
    }

    // A segment taller than the window between two short ones: the page
    // opens at its end, the wheel reaches either end, and the caret stays in
    // sight at the tall row's end.
    function test_tallSegmentShowsEveryRow_data() {
        return [600, 768, 1000].map(function(h) { return { tag: "height " + h, height: h } })
    }

    function test_tallSegmentShowsEveryRow(data) {
        openProject(testTallUrl, {}, data.height)
        var list = find("conversationList")
        var inView = function(i) {
            var r = row(i)
            return r !== null && r.visible && r.height > 0 && r.y < list.contentY + list.height && r.y + r.height > list.contentY
        }
        // A notch at a time, the view laid out between.
        var wheelTo = function(i, delta) {
            tryVerify(function() {
                if (!inView(i) && !list.moving)
                    mouseWheel(list, list.width / 2, list.height / 2, 0, delta)
                return inView(i)
            }, 20000, "row " + i)
        }
        tryVerify(function() { return inView(2) && list.contentHeight > list.height })
        wheelTo(0, 480)
        var edit = findChild(row(1), "messageEdit")
        mouseClick(edit, 5, list.mapToItem(edit, 0, list.height - 10).y)
        keyClick(Qt.Key_End, Qt.ControlModifier)
        var caret = edit.mapToItem(list, 0, edit.cursorRectangle.y).y
        verify(caret >= 0 && caret + edit.cursorRectangle.height <= list.height, caret)
        wheelTo(2, -480)
    }

    // Rows of a test: each way of the user's, in a window of each height.
    function rowsOf(ways) {
        return [768, 600].reduce(function(rows, h) {
            return rows.concat(ways.map(function(w) { return { tag: w + ", height " + h, height: h, way: w } }))
        }, [])
    }

    function test_viewStaysWhereTheUserPutIt_data() { return rowsOf(["pane", "wider", "narrower"]) }

    // Away from the row being edited, the pane or a new window width re-wraps
    // that row and leaves the view.
    function test_viewStaysWhereTheUserPutIt(data) {
        openProject(testWrapUrl, {}, data.height)
        var list = find("conversationList"), edit = null
        tryVerify(function() { edit = findChild(row(60), "messageEdit"); return edit !== null && edit.activeFocus })
        list.positionViewAtIndex(47, ListView.Beginning)
        var width = edit.width
        if (data.way === "pane")
            mouseClick(find("takeawaysHandle"))
        else
            win.width += data.way === "wider" ? 200 : -200
        tryVerify(function() { return edit.width !== width })
        compare(list.indexAt(10, list.contentY + 20), 47)
    }

    function test_caretShowsOnTheWaysIntoATallRow_data() { return rowsOf(["click", "down", "up"]) }

    // Into a segment taller than the window, from the last one: a click on a
    // line of it keeps the view, the caret and the next key there; Down from
    // its last line and Up from the row below show the caret, the view moved
    // a little.
    function test_caretShowsOnTheWaysIntoATallRow(data) {
        openProject(testTallUrl, {}, data.height)
        var list = find("conversationList"), tall = null
        tryVerify(function() { tall = findChild(row(1), "messageEdit")
                               return tall !== null && findChild(row(2), "messageEdit").activeFocus })
        // Clicked: the line in the middle of the view; Down: its last, at the bottom.
        if (data.way !== "up")
            list.contentY = row(1).y + (data.way === "click" ? row(1).height / 2 : row(1).height - list.height)
        var before = list.contentY
        if (data.way !== "up")
            mouseClick(tall, 30, list.mapToItem(tall, 0, data.way === "click" ? list.height / 2 : list.height - 40).y)
        if (data.way === "down")
            keyClick(Qt.Key_End, Qt.ControlModifier)
        keyClick(data.way === "click" ? Qt.Key_X : data.way === "down" ? Qt.Key_Down : Qt.Key_Up)
        var into = findChild(row(data.way === "down" ? 2 : 1), "messageEdit")
        verify(into !== null && into.activeFocus)
        var y = into.mapToItem(list, 0, into.cursorRectangle.y).y, h = into.cursorRectangle.height
        verify(y >= 0 && y + h <= list.height, y)
        if (data.way === "click") {
            compare(list.contentY, before)
            verify(Math.abs(y + h / 2 - list.height / 2) < h, y)
            compare(into.getText(into.cursorPosition - 1, into.cursorPosition), "x")
        } else {
            verify(Math.abs(list.contentY - before) < list.height / 3, list.contentY - before)
        }
    }

    // Fails unless item's span from top to bottom (by default its caret's
    // line) lies whole in the list's view once drawn, and the list stands
    // within its bounds, its rows filling the view.
    function verifyShown(item, top, bottom) {
        var list = find("conversationList"), r = item.cursorRectangle || Qt.rect(0, 0, 0, item.height)
        waitForRendering(list)
        top = top === undefined ? r.y : top
        bottom = bottom === undefined ? r.y + r.height : bottom
        var y = item.mapToItem(list, 0, top).y
        verify(y >= 0 && y + bottom - top <= list.height, "at " + y + " to " + (y + bottom - top) + " of " + list.height)
        var from = list.contentY - list.originY
        verify(from > -0.5 && from < list.contentHeight - list.height + 0.5, "at " + from + " of " + list.contentHeight)
        ;[0, list.height / 2, list.height - 1].forEach(function(at) {
            verify(list.itemAt(list.width / 2, list.contentY + at) !== null, "no row at " + at)
        })
    }

    // Row i once the list has laid it out and, if asked, focused it.
    function listed(i, focused) {
        var r = null
        tryVerify(function() { r = row(i); return r !== null && (!focused || r.editor.activeFocus) })
        return r
    }

    function test_cardShowsItsHighlight_data() {
        return [{ tag: "a short row far up", url: testWrapUrl, last: 60, word: "words", cards: [[0, 1]] },
                { tag: "words atop a tall row", url: testTallUrl, last: 2, word: "note", cards: [[0, 1]] },
                { tag: "comments of a long message, then of the next", url: testLongUrl, last: 29, cards: [[1, 5], [0, 6]] }]
    }

    // Cards clicked from the last row make their row current and show it
    // whole, or where it is taller than the list from its start (from its
    // highlighted words), with the caret there.
    function test_cardShowsItsHighlight(data) {
        openProject(data.url)
        var list = find("conversationList"), at = 0
        listed(data.last, true)
        if (data.word) {
            list.positionViewAtIndex(1, ListView.Beginning)
            var edit = listed(1).editor
            at = edit.getText(0, edit.length).indexOf(data.word)
            mouseClick(edit, 3, 3)
            edit.select(at, at + data.word.length)
            mouseClick(find("highlightBtn"))
            list.positionViewAtEnd()
            mouseClick(listed(data.last).editor, 3, 3)
        } else {
            mouseClick(find("takeawaysHandle"))
        }
        // Opened in full: a click lands on its cards, and the rows it narrows
        // have wrapped anew.
        var pane = find("takeawaysPane")
        tryVerify(function() { return pane.width === Math.min(340, Math.round(pane.parent.width * 0.4)) })
        data.cards.forEach(function(c) {
            var cards = find("takeawaysList"), card = null
            cards.positionViewAtIndex(c[0], ListView.Contain)
            tryVerify(function() { card = findChild(cards, "takeaway_" + c[0]); return card !== null && card.width > 0 })
            mouseClick(card, 5, 5)
            compare(list.currentIndex, c[1])
            var current = list.currentItem, editor = current.editor
            verify(editor.activeFocus)
            compare(editor.cursorPosition, at)
            verifyShown(editor)
            if (current.height <= list.height)
                verifyShown(current)
            else
                compare(Math.round(data.word ? editor.mapToItem(list, 0, editor.cursorRectangle.y).y : current.mapToItem(list, 0, 0).y), 0)
        })
    }

    function test_wholeCaretLineShows_data() {
        return [[Qt.Key_Tab, "Tab round to the first row", 0], [Qt.Key_Down, "Down"], [Qt.Key_Q, "typed"], [Qt.Key_Delete, "Delete"]]
            .map(function(r) { return { tag: r[1], key: r[0], into: r.length > 2 ? r[2] : 5002 } })
    }

    // Three rows of one line, then 5,000 of two, which the list only guesses
    // at until it lays them out. From the last row (after the scroll bar
    // dragged to the top, but for Tab) the caret shows whole all the same.
    function test_wholeCaretLineShows(data) {
        openProject(testMixedUrl)
        var list = find("conversationList")
        listed(5002, true)
        if (data.into === 5002)
            list.positionViewAtBeginning()
        keyClick(data.key)
        compare(list.currentIndex, data.into)
        verify(list.currentItem.editor.activeFocus)
        verifyShown(list.currentItem.editor)
    }

    function test_playBarShowsWhole_data() {
        var click = function(row, name) { return function() { mouseClick(findChild(listed(row), name), 3, 3) } }
        // Off the text's corner: early in a run, Qt takes a press within a
        // few pixels of it for a third click, which selects the message.
        var key = function(row, k) { return function() { mouseClick(listed(row).editor, 30, 8); keyClick(k) } }
        return [{ tag: "speaker dot of the last row", played: 11, ways: [click(11, "speakerDot")] },
                { tag: "F4 into the last row", played: 11, ways: [key(10, Qt.Key_F4)] },
                { tag: "forward into the last row", played: 11, ways: [click(10, "speakerDot"), click(10, "playForward")] },
                { tag: "F1 into a tall row from below", played: 2, from: 3, ways: [key(3, Qt.Key_F1)], keeps: "messageEdit" },
                { tag: "F2 on a tall row's first line", played: 2, from: 2, ways: [key(2, Qt.Key_F2)], keeps: "messageEdit" },
                { tag: "speaker dot of a tall row", played: 2, from: 2, ways: [click(2, "speakerDot")], keeps: "speakerDot" }]
    }

    // A row starts playing: its play bar shows whole at the bottom edge, the
    // list moved no further than that takes; in a row taller than the list
    // the caret's line or the dot clicked stays in view instead.
    function test_playBarShowsWhole(data) {
        var page = openProject(testPlayedUrl), list = find("conversationList")
        listed(11, true)
        if (data.from)
            list.positionViewAtIndex(data.from, ListView.Beginning)
        data.ways.forEach(function(way) { way() })
        compare(list.currentIndex, data.played)
        var shown = findChild(list.currentItem, data.keeps || "playBar")
        verifyShown(shown)
        if (!data.keeps)
            compare(Math.round(list.height - shown.mapToItem(list, 0, 0).y - shown.height), 0)
        page.cp.playStop()
    }

    // The items the pane lists, after opening it by its handle when hidden.
    function paneTexts() {
        if (!navUtil().currentPage.takeawaysOpen)
            mouseClick(find("takeawaysHandle"))
        var list = find("takeawaysList")
        tryVerify(function() { return list.width > 100 })
        var texts = []
        for (var i = 0; i < list.count; ++i) {
            list.positionViewAtIndex(i, ListView.Contain)
            texts.push(findChild(findChild(list, "takeaway_" + i), "itemText").text.trim())
        }
        return texts
    }

    function test_highlightsAndCommentsAfterReopening() {
        var url = convertedProject("takeaways")
        var edit = findChild(row(0), "messageEdit")
        mouseClick(edit, 3, 3)
        var at = edit.getText(0, edit.length).indexOf("two")
        edit.select(at, at + 3)
        mouseClick(find("highlightBtn"))
        edit.deselect()
        mouseClick(find("commentBtn"))
        var comment = edit.getText(0, edit.length).trim()
        compare(paneTexts(), [comment, "two"])

        mouseClick(find("menuProjects"))
        openProject(url)
        compare(paneTexts(), [comment, "two"])
        endProcess()
        openProject(url)
        compare(paneTexts(), [comment, "two"])
    }
}
