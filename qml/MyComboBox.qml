import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

ComboBox {
    id: root
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    implicitHeight: 34
    background: Rectangle {
        radius: Theme.radius
        color: "white"
        border.color: root.activeFocus ? Theme.accent : Theme.border
    }
}
