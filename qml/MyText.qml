import QtQuick 2.15

// Names, paths and messages shown here are the user's text, never markup;
// the few places that show rich text say so.
Text {
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    color: TEXTCOLOR_MAIN
    textFormat: Text.PlainText
}
