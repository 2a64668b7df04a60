import QtQuick 2.15
import QtQuick.Controls 2.15

// A short notice near the bottom of the window.
Popup {
    id: root
    objectName: "toast"
    property int duration: 1000
    property int bottomOffset: 100
    property string text: ""

    parent: Overlay.overlay
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? parent.height - height - bottomOffset : 0
    padding: 12
    closePolicy: Popup.NoAutoClose
    background: Rectangle { radius: 16; color: "#DD1E2A3A" }
    contentItem: MyText {
        text: root.text
        color: "white"
        font.pixelSize: FONTSIZE_SUB
    }

    function show(text) {
        root.text = text
        open()
        timer.restart()
    }

    Timer {
        id: timer
        interval: root.duration
        onTriggered: root.close()
    }
}
