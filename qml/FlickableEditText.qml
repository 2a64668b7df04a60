import QtQuick 2.15
import QtQuick.Controls 2.15

// A scrolling editor that keeps its cursor in view.
Flickable {
    id: root
    property alias text: edit.text
    property int fontSize: FONTSIZE_DEF
    property int textFormat: TextEdit.PlainText
    signal editingFinished(string ntext)

    clip: true
    contentWidth: width
    contentHeight: edit.implicitHeight
    boundsBehavior: Flickable.StopAtBounds
    ScrollBar.vertical: ScrollBar {}

    function ensureVisible(r) {
        if (contentX >= r.x)
            contentX = r.x
        else if (contentX + width <= r.x + r.width)
            contentX = r.x + r.width - width
        if (contentY >= r.y)
            contentY = r.y
        else if (contentY + height <= r.y + r.height)
            contentY = r.y + r.height - height
    }

    TextEdit {
        id: edit
        objectName: "flickableEdit"
        width: root.width
        textFormat: root.textFormat
        wrapMode: TextEdit.Wrap
        selectByMouse: true
        font.family: FONTFAMILY_MAIN
        font.pixelSize: root.fontSize
        color: TEXTCOLOR_MAIN
        onCursorRectangleChanged: root.ensureVisible(cursorRectangle)
        onEditingFinished: root.editingFinished(text)
    }
}
