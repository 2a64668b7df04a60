import QtQuick 2.15

// The page area: a stack of loaders. Pages that must confirm leaving define
// a function nav(fn) and call fn only when the user agrees. Pages with
// editors define commitEdits(), which stores what the user changed; it runs
// before every way off the page, since the process may end right after.
Item {
    id: root
    clip: true

    property string currentSource: ""
    property var loaders: []
    readonly property int depth: loaders.length
    readonly property var currentPage: depth > 0 ? loaders[depth - 1].item : null
    // Set when a page is shown, until the next press: a page opened by the
    // first click of a double click must not get the second, which would
    // land on whatever now lies there (a name field would select a word for
    // the next key to replace).
    property bool shielding: false

    Component {
        id: loaderComponent
        Loader {
            property string pageSource: ""
            anchors.fill: parent
        }
    }

    // Above the pages. Takes only the press that Qt marks as completing a
    // double click, with the double click and the release after it.
    MouseArea {
        objectName: "clickShield"
        anchors.fill: parent
        z: 1
        enabled: root.shielding
        onPressed: function(mouse) {
            mouse.accepted = (mouse.flags & Qt.MouseEventCreatedDoubleClick) !== 0
            if (!mouse.accepted)
                root.shielding = false
        }
        onReleased: root.shielding = false
        onCanceled: root.shielding = false
    }

    function topLoader() {
        return loaders.length > 0 ? loaders[loaders.length - 1] : null
    }

    function addLoader() {
        var l = loaderComponent.createObject(root)
        var list = loaders.slice()
        list.push(l)
        loaders = list
        return l
    }

    function nav(source, props) {
        if (loaders.length === 0)
            addLoader()
        navTodo(function() {
            var l = topLoader()
            l.pageSource = source
            l.setSource(source, props || {})
            currentSource = source
            shielding = true
        })
    }

    function commitEdits() {
        var page = currentPage
        if (page && typeof page.commitEdits === "function")
            page.commitEdits()
    }

    function navTodo(fn) {
        commitEdits()
        var l = topLoader()
        var page = l ? l.item : null
        if (page && typeof page.nav === "function")
            page.nav(fn)
        else
            fn()
    }

    function push() {
        commitEdits()
        var t = topLoader()
        if (t)
            t.visible = false
        addLoader()
    }

    function pop() {
        if (loaders.length === 0)
            return
        var list = loaders.slice()
        var t = list.pop()
        loaders = list
        t.destroy()
        var below = topLoader()
        if (below) {
            below.visible = true
            currentSource = below.pageSource
        } else {
            currentSource = ""
        }
    }
}
