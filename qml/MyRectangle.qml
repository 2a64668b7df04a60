import QtQuick 2.15
import "Theme.js" as Theme

Rectangle {
    radius: Theme.radius
    color: "white"
    border.color: Theme.border
}
