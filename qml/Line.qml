import QtQuick 2.15
import "Theme.js" as Theme

Rectangle {
    property bool vertical: false
    width: vertical ? 1 : (parent ? parent.width : 1)
    height: vertical ? (parent ? parent.height : 1) : 1
    color: Theme.border
}
