import QtQuick 2.15

// The large call-to-action button.
SimpleButton {
    primary: true
    implicitHeight: 42
    font.pixelSize: FONTSIZE_TITLE
    font.bold: true
}
