import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// One project of the Projects page: a click opens it; the tick box and the
// menu act on it. A project whose conversion never ended is greyed.
MouseArea {
    id: root
    objectName: "project_" + idx
    property var page: null
    property var listModel: null
    readonly property bool finished: status === 1
    readonly property color textColor: finished ? TEXTCOLOR_MAIN2 : "gray"

    height: 65
    hoverEnabled: true
    cursorShape: Qt.PointingHandCursor
    onClicked: navUtil.nav("MainContentFrame.qml", { projectUrl: baseutil.urlFromLocal(d.path) })

    Rectangle {
        anchors.fill: parent
        color: root.containsMouse || menu.opened ? "#F3F5FB" : "transparent"
    }

    MyCheckbox {
        id: tick
        objectName: "projectTick"
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        visible: root.containsMouse || root.listModel.checkedCount !== 0
        // Read again whenever the ticks change anywhere; a removed row keeps
        // its delegate a moment without its data.
        checked: root.listModel.checkedCount >= 0 && !!d && root.listModel.isChecked(d.id)
        onToggled: root.listModel.setChecked(d.id, checked)
    }

    Image {
        id: icon
        anchors.left: tick.right
        anchors.leftMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        width: 32
        height: 32
        sourceSize: Qt.size(48, 48)
        mipmap: true
        source: "qrc:/qrc/project-1.png"
        opacity: root.finished ? 1 : 0.5
    }

    Column {
        anchors.left: icon.right
        anchors.leftMargin: 12
        anchors.right: menuBtn.left
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4
        MyText {
            objectName: "projectName"
            width: parent.width
            text: d.name !== undefined ? d.name : ""
            elide: Text.ElideRight
            color: root.textColor
        }
        MyText {
            objectName: "projectPath"
            width: parent.width
            text: d.path
            elide: Text.ElideMiddle
            font.pixelSize: FONTSIZE_SUB
            color: root.textColor
        }
    }

    ControlBarIconBtn {
        id: menuBtn
        objectName: "projectMenuBtn"
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        width: 32
        visible: root.containsMouse || menu.opened
        Image {
            anchors.centerIn: parent
            width: 16
            height: 16
            sourceSize: Qt.size(48, 48)
            mipmap: true
            source: "qrc:/qrc/ellipsis.png"
        }
        onClicked: menu.popup(menuBtn, 0, menuBtn.height)
    }

    MyContextMenu {
        id: menu
        objectName: "projectMenu"
        MyMenuItem {
            objectName: "projectDelete"
            text: qsTr("Delete")
            onTriggered: root.page.deleteProject(idx)
        }
        MyMenuItem {
            objectName: "projectExport"
            text: qsTr("Export")
            onTriggered: root.page.openExport([baseutil.urlFromLocal(d.path)])
        }
    }

    Line {
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.right: parent.right
        anchors.rightMargin: 12
        color: "#EEF0F3"
    }
}
