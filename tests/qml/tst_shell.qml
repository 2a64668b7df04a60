import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.15

TestCase {
    id: tc
    name: "Shell"
    when: windowShown

    property var win: null

    function findIn(obj, name) {
        return findChild(obj.contentItem, name)
    }

    function initTestCase() {
        var comp = Qt.createComponent("qrc:/main.qml")
        verify(comp.status === Component.Ready, comp.errorString())
        win = comp.createObject(null)
        verify(win !== null)
        tryVerify(function() { return win.visible && findIn(win, "navUtil").currentPage !== null }, 5000)
    }

    function cleanupTestCase() {
        win.destroy()
    }

    function test_window() {
        compare(win.width, 1024)
        compare(win.height, 768)
        compare(win.minimumWidth, 1024)
        compare(win.minimumHeight, 650)
        verify((win.flags & Qt.FramelessWindowHint) !== 0)
        var nav = findIn(win, "navUtil")
        compare(nav.currentSource, "Home.qml")
        compare(nav.currentPage.objectName, "homePage")
        verify(findIn(win, "menuHome").selected)
        verify(!findIn(win, "menuProjects").selected)
        compare(findIn(win, "headerTitle").text, PROD_NAME)
    }

    function test_closeRefusedByPage() {
        var nav = findIn(win, "navUtil")
        nav.nav(Qt.resolvedUrl("RefusePage.qml"), {})
        tryCompare(nav.currentPage, "objectName", "refusePage")
        var page = nav.currentPage
        win.close()
        compare(page.asked, 1)
        verify(win.visible)
        // Going elsewhere is refused the same way.
        mouseClick(findIn(win, "menuHome"))
        compare(page.asked, 2)
        compare(nav.currentPage, page)
        page.allow = true
        mouseClick(findIn(win, "menuHome"))
        tryCompare(nav, "currentSource", "Home.qml")
        verify(findIn(win, "menuHome").selected)
    }

    function test_pushPop() {
        var nav = findIn(win, "navUtil")
        var depth = nav.depth
        nav.push()
        nav.nav(Qt.resolvedUrl("RefusePage.qml"), { allow: true })
        tryCompare(nav.currentPage, "objectName", "refusePage")
        compare(nav.depth, depth + 1)
        nav.pop()
        compare(nav.depth, depth)
        compare(nav.currentSource, "Home.qml")
        compare(nav.currentPage.objectName, "homePage")
    }

    function test_dragGeometry_data() {
        var d = { x: 100, y: 100, w: 1100, h: 700 }
        return [
            { tag: "move", edges: 0, dx: 30, dy: -20, g: { x: 130, y: 80, w: 1100, h: 700 } },
            { tag: "right wider", edges: Qt.RightEdge, dx: 50, dy: 0, g: { x: 100, y: 100, w: 1150, h: 700 } },
            { tag: "right below minimum", edges: Qt.RightEdge, dx: -300, dy: 0, g: { x: 100, y: 100, w: 1024, h: 700 } },
            { tag: "left keeps right edge", edges: Qt.LeftEdge, dx: 40, dy: 0, g: { x: 140, y: 100, w: 1060, h: 700 } },
            { tag: "left below minimum", edges: Qt.LeftEdge, dx: 200, dy: 0, g: { x: 176, y: 100, w: 1024, h: 700 } },
            { tag: "top grows upwards", edges: Qt.TopEdge, dx: 0, dy: -50, g: { x: 100, y: 50, w: 1100, h: 750 } },
            { tag: "top below minimum", edges: Qt.TopEdge, dx: 0, dy: 200, g: { x: 100, y: 150, w: 1100, h: 650 } },
            { tag: "corner", edges: Qt.RightEdge | Qt.BottomEdge, dx: 10, dy: 20, g: { x: 100, y: 100, w: 1110, h: 720 } }
        ].map(function(r) { r.start = { edges: r.edges, gx: 0, gy: 0, x: d.x, y: d.y, w: d.w, h: d.h }; return r })
    }

    function test_dragGeometry(data) {
        var g = findIn(win, "frame").dragGeometry(data.start, data.dx, data.dy, 1024, 650)
        compare(g.x, data.g.x)
        compare(g.y, data.g.y)
        compare(g.w, data.g.w)
        compare(g.h, data.g.h)
    }

    function test_aboutForm() {
        var header = findIn(win, "headerTitle").parent.parent
        var about = header.showAbout()
        tryCompare(about, "opened", true)
        compare(findChild(about.contentItem, "aboutVersion").text, PROD_NAME + " v" + PROD_VER)
        // Both version links lead to the update page of the configured endpoint.
        var page = "http://127.0.0.1:9/check_update.php?pid=kalvinor_audio2text_win&ver=5"
        mouseClick(findChild(about.contentItem, "aboutVersion"))
        compare(openedUrls.last(), page)
        about.close()
        mouseClick(findIn(win, "headerVersion"))
        compare(openedUrls.last(), page)
    }

    // A name that looks like markup shows as typed, never as rich text.
    function test_userTextIsShownAsTyped() {
        var name = '<b>Ann</b><img src="x.png" width="300">'
        var shown = Qt.createComponent("qrc:/MyText.qml").createObject(win, { text: name })
        var plain = Qt.createQmlObject("import QtQuick 2.15; Text { textFormat: Text.PlainText }", win)
        plain.font = shown.font
        plain.text = name
        compare(shown.implicitWidth, plain.implicitWidth)
        shown.destroy()
        plain.destroy()
    }
}
