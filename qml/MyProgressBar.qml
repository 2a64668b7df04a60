import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

ProgressBar {
    id: root
    implicitHeight: 6
    background: Rectangle {
        implicitWidth: 200
        implicitHeight: 6
        radius: 3
        color: "#E3E7ED"
    }
    contentItem: Item {
        Rectangle {
            width: root.visualPosition * parent.width
            height: parent.height
            radius: 3
            color: Theme.accent
        }
    }
}
