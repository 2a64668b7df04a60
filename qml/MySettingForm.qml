import QtQuick 2.15

// Rows of label and field (MySettingForm_Item).
Column {
    spacing: 14
}
