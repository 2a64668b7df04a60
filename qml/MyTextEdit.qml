import QtQuick 2.15

// A rich-text editor that, given maxWidth, is as wide as its longest line
// (plus a margin) but no wider than maxWidth and no narrower than minWidth.
TextEdit {
    id: root
    property real maxWidth: 0
    property real minWidth: 0

    readonly property real longestLine: {
        var lines = getText(0, length).split(/[\u2028\u2029\n]/)
        var w = 0
        for (var i = 0; i < lines.length; ++i)
            w = Math.max(w, metrics.advanceWidth(lines[i]))
        return Math.ceil(w)
    }

    width: maxWidth > 0 ? Math.max(minWidth, Math.min(longestLine, maxWidth) + 10) : implicitWidth
    textFormat: TextEdit.RichText
    wrapMode: TextEdit.Wrap
    selectByMouse: true
    persistentSelection: true
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    color: TEXTCOLOR_MAIN
    selectionColor: "#A7D8FB"
    selectedTextColor: TEXTCOLOR_MAIN

    FontMetrics {
        id: metrics
        font: root.font
    }
}
