import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

TextField {
    id: root
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    color: TEXTCOLOR_MAIN
    selectByMouse: true
    leftPadding: 10
    rightPadding: 10
    implicitHeight: 34
    background: Rectangle {
        radius: Theme.radius
        color: root.readOnly ? "#F5F6F8" : "white"
        border.color: root.activeFocus ? Theme.accent : Theme.border
    }
}
