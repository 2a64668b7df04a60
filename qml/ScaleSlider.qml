import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

Slider {
    id: root
    implicitHeight: 30
    background: Rectangle {
        x: root.leftPadding
        y: root.topPadding + root.availableHeight / 2 - height / 2
        width: root.availableWidth
        height: 4
        radius: 2
        color: "#E3E7ED"
        Rectangle {
            width: root.visualPosition * parent.width
            height: parent.height
            radius: 2
            color: Theme.accent
        }
    }
    handle: Rectangle {
        x: root.leftPadding + root.visualPosition * (root.availableWidth - width)
        y: root.topPadding + root.availableHeight / 2 - height / 2
        width: 16
        height: 16
        radius: 8
        color: "white"
        border.color: Theme.accent
        border.width: 2
    }
}
