import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

Menu {
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    topPadding: 4
    bottomPadding: 4
    background: Rectangle {
        implicitWidth: 160
        radius: 4
        color: "white"
        border.color: Theme.border
    }
}
