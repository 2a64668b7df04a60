import QtQuick 2.15

Text {
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF
    color: TEXTCOLOR_MAIN
}
