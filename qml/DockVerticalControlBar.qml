import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// Controls of the vertical docked view, in one column.
Column {
    id: root
    objectName: "dockVerticalControlBar"
    property var cp: prosmgr.cp
    // The docked window, closed by "Return".
    property var dockWindow: null
    signal failed(string err)

    spacing: 8

    MyRadioButton {
        objectName: "sourceSpeaker"
        text: qsTr("IDS_SOURCE_SPEAKER")
        checked: root.cp ? root.cp.devid === 2 : false
        onClicked: root.switchSource(true)
    }
    MyRadioButton {
        objectName: "sourceMicrophone"
        text: qsTr("IDS_SOURCE_MICROPHONE")
        checked: root.cp ? root.cp.devid === 1 : false
        onClicked: root.switchSource(false)
    }
    SimpleButton {
        objectName: "pauseButton"
        text: root.cp && root.cp.isPaused ? qsTr("IDS_CTRL_CONTINUE") : qsTr("IDS_CTRL_PAUSE")
        onClicked: if (root.cp) root.cp.togglePause()
    }
    SimpleButton {
        objectName: "stopButton"
        text: qsTr("IDS_CTRL_STOP")
        onClicked: if (root.cp) root.cp.stop()
    }
    SimpleButton {
        objectName: "highlightButton"
        text: qsTr("IDS_CTRL_HIGHLIGHT")
        enabled: root.cp ? !root.cp.highlightLast : false
        onClicked: root.cp.highlightLast = true
    }
    SimpleButton {
        objectName: "backButton"
        primary: true
        text: qsTr("IDS_BACK")
        onClicked: root.back()
    }

    function switchSource(loopback) {
        if (!cp)
            return
        var ok = loopback ? cp.switchToLoopback() : cp.switchToMic()
        if (!ok)
            failed(cp.lastErr)
        // The radios follow the controller again, whatever the click did.
        for (var i = 0; i < 2; ++i) {
            var r = children[i]
            r.checked = Qt.binding(i === 0 ? function() { return root.cp ? root.cp.devid === 2 : false }
                                           : function() { return root.cp ? root.cp.devid === 1 : false })
        }
    }

    function back() {
        if (dockWindow)
            dockWindow.close()
        mainwin.show()
    }
}
