import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import CheckUpdateThread 1.0

ApplicationWindow {
    id: winroot
    objectName: "winroot"
    width: 1024
    height: 768
    minimumWidth: 1024
    minimumHeight: 650
    visible: true
    flags: Qt.Window | Qt.FramelessWindowHint
    color: "transparent"
    title: PROD_NAME
    font.family: FONTFAMILY_MAIN
    font.pixelSize: FONTSIZE_DEF


    Component {
        id: msgbox
        MessageBox {}
    }

    MyToast {
        id: toast
        duration: 1000
        bottomOffset: 100
    }

    Component {
        id: updateCheckComponent
        CheckUpdateThread {
            onFinished: {
                if (!requireUpdate) {
                    destroy()
                    return
                }
                var url = downloadUrl
                var self = this
                msgbox.createObject(winroot).information("",
                    qsTr("This version of Kalvinor software has become obsolete. Please download the latest version to install on your computer."),
                    function() {
                        if (url !== "")
                            Qt.openUrlExternally(url)
                        navUtil.commitEdits()
                        self.exitApp()
                    })
            }
        }
    }

    Component.onCompleted: updateCheckComponent.createObject(winroot).start()

    // The current page decides whether it may be left (a running project
    // asks first); only then does the application end.
    onClosing: function(close) {
        close.accepted = false
        navUtil.navTodo(function() { engine.quit() })
    }

    CustomWin {
        id: frame
        objectName: "frame"
        anchors.fill: parent
        window: winroot

        MainHeader {
            id: header
            frame: frame
            navUtil: navUtil
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            height: 30
        }

        MainLeft {
            id: mainLeft
            navUtil: navUtil
            anchors.top: header.bottom
            anchors.left: parent.left
            anchors.bottom: parent.bottom
            width: 200
        }

        NavUtil {
            id: navUtil
            objectName: "navUtil"
            anchors.top: header.bottom
            anchors.left: mainLeft.right
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            Component.onCompleted: nav("Home.qml", {})
        }
    }
}
