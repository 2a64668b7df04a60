import QtQuick 2.15
import QtQuick.Controls 2.15

// Covers its parent and swallows input while something loads.
Rectangle {
    property alias text: label.text
    anchors.fill: parent
    color: "#B3FFFFFF"
    MouseArea { anchors.fill: parent; hoverEnabled: true }
    Column {
        anchors.centerIn: parent
        spacing: 10
        BusyIndicator { running: parent.visible; anchors.horizontalCenter: parent.horizontalCenter }
        MyText { id: label; anchors.horizontalCenter: parent.horizontalCenter; color: TEXTCOLOR_MAIN2 }
    }
}
