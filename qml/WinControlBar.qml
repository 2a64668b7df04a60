import QtQuick 2.15
import QtQuick.Window 2.15

// Minimise, maximise or restore (by the window's visibility), close.
Row {
    id: root
    property var window: null
    property color glyphColor: "white"
    readonly property bool maximized: window !== null
        && (window.visibility === Window.Maximized || window.visibility === Window.FullScreen)
    height: 30

    ControlBarIconBtn {
        objectName: "btnMinimize"
        height: root.height
        hoverColor: "#33FFFFFF"
        onClicked: root.window.showMinimized()
        Rectangle { anchors.centerIn: parent; width: 10; height: 1; color: root.glyphColor }
    }
    ControlBarIconBtn {
        objectName: "btnMaximize"
        height: root.height
        hoverColor: "#33FFFFFF"
        onClicked: root.maximized ? root.window.showNormal() : root.window.showMaximized()
        Rectangle {
            anchors.centerIn: parent
            anchors.horizontalCenterOffset: root.maximized ? 2 : 0
            anchors.verticalCenterOffset: root.maximized ? -2 : 0
            visible: root.maximized
            width: 8; height: 8; color: "transparent"; border.color: root.glyphColor
        }
        Rectangle {
            anchors.centerIn: parent
            anchors.horizontalCenterOffset: root.maximized ? -1 : 0
            anchors.verticalCenterOffset: root.maximized ? 1 : 0
            width: root.maximized ? 8 : 10; height: width
            color: root.maximized ? "#1E2A3A" : "transparent"
            border.color: root.glyphColor
        }
    }
    WinCloseBtn {
        objectName: "btnClose"
        height: root.height
        glyphColor: root.glyphColor
        onClicked: root.window.close()
    }
}
