import QtQuick 2.15

// Covers its parent with a progress bar (value 0 to 100).
Rectangle {
    property alias text: label.text
    property real value: 0
    anchors.fill: parent
    color: "#B3FFFFFF"
    MouseArea { anchors.fill: parent; hoverEnabled: true }
    Column {
        anchors.centerIn: parent
        spacing: 10
        width: 300
        MyText { id: label; anchors.horizontalCenter: parent.horizontalCenter; color: TEXTCOLOR_MAIN2 }
        MyProgressBar { width: parent.width; from: 0; to: 100; value: parent.parent.value }
        MyText { text: Math.round(parent.parent.value) + "%"; anchors.horizontalCenter: parent.horizontalCenter }
    }
}
