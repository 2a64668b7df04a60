import QtQuick 2.15

// A page that must confirm leaving, like a running project.
Item {
    objectName: "refusePage"
    property bool allow: false
    property int asked: 0
    function nav(fn) {
        asked += 1
        if (allow)
            fn()
    }
}
