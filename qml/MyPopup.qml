import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// A modal dialog box centred in the window.
Popup {
    parent: Overlay.overlay
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 2) : 0
    modal: true
    focus: true
    padding: 20
    closePolicy: Popup.CloseOnEscape
    background: Rectangle {
        radius: Theme.radius
        color: "white"
        border.color: Theme.border
    }
}
