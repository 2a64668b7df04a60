import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

Button {
    id: root
    property bool primary: false
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    implicitHeight: 34
    implicitWidth: Math.max(84, contentItem.implicitWidth + 32)
    contentItem: MyText {
        text: root.text
        font: root.font
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: !root.enabled ? Theme.muted : (root.primary ? "white" : TEXTCOLOR_MAIN)
    }
    background: Rectangle {
        radius: Theme.radius
        color: {
            if (!root.enabled)
                return "#EEF0F3"
            if (root.primary)
                return root.down ? Theme.accentDark : (root.hovered ? "#3D7BF0" : Theme.accent)
            return root.down ? "#E4E8EE" : (root.hovered ? "#F2F5FA" : "white")
        }
        border.color: root.primary ? "transparent" : Theme.border
    }
}
