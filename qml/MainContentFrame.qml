import QtQuick 2.15
import QtQuick.Controls 2.15
import InitablesThread 1.0
import ConversationsItemModel 1.0
import CommentItemModel 1.0
import ProjectMainController 1.0
import "Theme.js" as Theme

// The page of an entered project: enters it, opens it off the GUI thread,
// then resumes an interrupted conversion or starts the run it was made for.
Rectangle {
    id: root
    objectName: "mainContentFrame"
    color: Theme.page

    property int mode: ProjectMainController.None
    property string projectUrl: ""
    property string convertFileUrl: ""
    property var cp: null
    property bool opening: false
    property var initThread: null

    ConversationControlBar {
        id: controlBar
        cp: root.cp
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
    }

    ConversationsItemModel {
        id: conversationsItemModel
        onAfterDeleteSeg: commentItemModel.onAfterDeleteSeg(segId)
        // The floating vertical dock finds the conversation by this name.
        Component.onCompleted: baseutil.qmlSetRootProperty("conversationsItemModel", conversationsItemModel)
    }

    CommentItemModel {
        id: commentItemModel
        onHighlightDeleted: conversationsItemModel.removeHighLight(segId, hlId)
    }

    // For the dock windows and for the window's own checks.
    readonly property var convModel: conversationsItemModel
    readonly property var commentModel: commentItemModel
    readonly property alias takeawaysOpen: takeawaysPane.open

    Item {
        id: content
        anchors.top: controlBar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom

        // Made only once the models are filled: the list starts at its
        // last segment.
        Loader {
            id: conversations
            objectName: "conversationsLoader"
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            anchors.left: parent.left
            anchors.right: takeawaysPane.left
            active: false
            sourceComponent: Conversations {
                cp: root.cp
                convModel: conversationsItemModel
                commentModel: commentItemModel
                onGotoCItem: takeaways.gotoCItem(cid)
                onOpenTakeaways: takeawaysPane.open = true
            }
        }

        // The highlights and comments, hidden at first; a handle at its
        // edge opens and closes it.
        Item {
            id: takeawaysPane
            objectName: "takeawaysPane"
            property bool open: false
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            anchors.right: parent.right
            width: open ? Math.min(340, Math.round(content.width * 0.4)) : 0
            visible: conversations.status === Loader.Ready
            clip: true

            Behavior on width { NumberAnimation { duration: 150 } }

            Rectangle {
                anchors.left: parent.left
                width: 1
                height: parent.height
                color: Theme.border
            }
            ConversationTakeaways {
                id: takeaways
                anchors.fill: parent
                anchors.leftMargin: 1
                commentModel: commentItemModel
                onGotoSeg: if (conversations.item) conversations.item.gotoSeg(segId, hlId)
                onOpenRequested: takeawaysPane.open = true
            }
        }

        Rectangle {
            id: paneHandle
            objectName: "takeawaysHandle"
            visible: conversations.status === Loader.Ready
            anchors.right: takeawaysPane.left
            anchors.verticalCenter: parent.verticalCenter
            width: 14
            height: 56
            radius: 3
            color: handleArea.containsMouse ? Theme.accentLight : "#EEF0F3"
            border.color: Theme.border
            MyText {
                anchors.centerIn: parent
                text: takeawaysPane.open ? "\u203A" : "\u2039"
                color: Theme.muted
            }
            MouseArea {
                id: handleArea
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: takeawaysPane.open = !takeawaysPane.open
            }
        }
    }

    BusyMask {
        visible: root.opening
        text: qsTr("Loading...")
    }

    Component {
        id: initThreadComponent
        InitablesThread {}
    }

    // The controller first: the models take its project database.
    function initables() {
        return [prosmgr.cp, conversationsItemModel, commentItemModel]
    }

    function afterOpen(res, err) {
        opening = false
        if (!res) {
            msgbox.createObject(winroot).critical("", err)
            navUtil.nav("Projects.qml", {})
            return
        }
        conversations.active = true
        // The opening went on, but the text of a killed recording's last
        // words could not be made: the audio stays for the next opening.
        if (cp.hasErr)
            msgbox.createObject(winroot).critical("", cp.lastErr)
        if (cp.isConvertingFile() && cp.convertStatus() === 0) {
            // A resume whose file is gone would fail at every opening:
            // offer to discard it, or to keep it for when the file is back.
            var missing = cp.missingConvertFile()
            if (missing !== "") {
                msgbox.createObject(winroot).question("", qsTr("The file of the unfinished conversion is missing:\n%1\n\nDiscard the unfinished conversion? Choose No to keep it for later.")
                    .arg(missing),
                    function() { cp.convertClear() })
                return
            }
            cp.convertContinue()
            return
        }
        if (mode === ProjectMainController.Record) {
            cp.startRecord()
        } else if (mode === ProjectMainController.Transcribe) {
            cp.startTranscribe()
        } else if (mode === ProjectMainController.Convert && convertFileUrl !== "") {
            cp.convertFileUrl = convertFileUrl
            cp.startConvert()
        }
    }

    Component.onCompleted: {
        if (!prosmgr.enterProject(projectUrl) || !prosmgr.cp) {
            var text = prosmgr.lastErr
            msgbox.createObject(winroot).critical("", text)
            Qt.callLater(function() { navUtil.nav("Projects.qml", {}) })
            return
        }
        cp = prosmgr.cp
        opening = true
        initThread = initThreadComponent.createObject(root, { inits: initables() })
        initThread.initFinished.connect(afterOpen)
        initThread.start()
    }

    // The models die with the page, before the thread would: an opening
    // still running must be over first.
    Component.onDestruction: if (initThread) initThread.cancel()

    function commitEdits() {
        if (conversations.item)
            conversations.item.commitEdits()
    }

    // Asked by the navigation before the page is left.
    function nav(fn) {
        if (cp && (cp.isRunning || cp.isStarting)) {
            msgbox.createObject(winroot).question("", qsTr("IDS_CONFIRM_STOP_RUNNING_PROJECTS?"), function() {
                cp.stop()
                fn()
            })
            return
        }
        fn()
    }
}
