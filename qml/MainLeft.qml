import QtQuick 2.15
import "Theme.js" as Theme

// The left menu; the entry whose page is shown stays selected.
Rectangle {
    id: root
    property var navUtil: null
    color: Theme.side

    Rectangle {
        anchors.right: parent.right
        width: 1
        height: parent.height
        color: Theme.border
    }

    Column {
        anchors.fill: parent
        anchors.topMargin: 16
        spacing: 4

        Repeater {
            model: [
                { title: qsTr("Home"), page: "Home.qml", name: "menuHome" },
                { title: qsTr("Projects"), page: "Projects.qml", name: "menuProjects" }
            ]
            delegate: Rectangle {
                objectName: modelData.name
                readonly property bool selected: root.navUtil !== null
                    && String(root.navUtil.currentSource).endsWith(modelData.page)
                width: root.width - 16
                x: 8
                height: 40
                radius: Theme.radius
                color: selected ? Theme.sideSelected : (area.containsMouse ? "#EAEEF4" : "transparent")

                Rectangle {
                    visible: parent.selected
                    width: 3
                    height: 20
                    radius: 1
                    color: Theme.accent
                    anchors.verticalCenter: parent.verticalCenter
                }
                MyText {
                    text: modelData.title
                    anchors.verticalCenter: parent.verticalCenter
                    x: 20
                    font.pixelSize: FONTSIZE_DEF
                    font.bold: parent.selected
                    color: parent.selected ? Theme.accentDark : TEXTCOLOR_MAIN2
                }
                MouseArea {
                    id: area
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: if (root.navUtil) root.navUtil.nav(modelData.page, {})
                }
            }
        }
    }
}
