import QtQuick 2.15
import QtQuick.Controls 2.15
import InitablesThread 1.0
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

    // The conversation with its comments. Its page publishes the models that
    // must be made ready with the project (see initables()).
    Loader {
        id: conversations
        objectName: "conversationsLoader"
        anchors.top: controlBar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        source: "Conversations.qml"
        asynchronous: false
    }

    // Until the conversation page is part of the program: the text this visit
    // recognises, and the run's errors.
    Item {
        id: plainView
        objectName: "plainConversation"
        visible: conversations.status !== Loader.Ready
        anchors.fill: conversations
        property string partialHtml: ""

        ListModel { id: results }

        Connections {
            target: conversations.status !== Loader.Ready ? root.cp : null
            function onPartialResult(dev, html) { plainView.partialHtml = html }
            function onNewResult(spk, seg) {
                plainView.partialHtml = ""
                results.append({ speaker: spk.name, color: spk.color, html: seg.html,
                                 time: baseutil.formatMSecs(Math.floor(seg.start * 1000)) })
            }
            function onStarted(suc) {
                if (!suc)
                    msgbox.createObject(winroot).critical("", root.cp.lastErr)
            }
            function onStopped() {
                if (root.cp.mode === ProjectMainController.Convert && root.cp.hasErr)
                    msgbox.createObject(winroot).critical("", root.cp.lastErr)
            }
        }

        ListView {
            id: resultList
            objectName: "plainResults"
            anchors.fill: parent
            anchors.margins: 20
            clip: true
            spacing: 14
            model: results
            onCountChanged: positionViewAtEnd()
            footer: Text {
                width: resultList.width
                topPadding: 14
                visible: root.cp !== null && root.cp.isRunning !== 0 && plainView.partialHtml !== ""
                wrapMode: Text.Wrap
                textFormat: Text.RichText
                color: Theme.muted
                text: plainView.partialHtml
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
            }
            delegate: Column {
                width: resultList.width
                spacing: 4
                Row {
                    spacing: 10
                    MyText { text: model.speaker; color: model.color; font.bold: true; font.pixelSize: FONTSIZE_SUB }
                    MyText { text: model.time; color: Theme.muted; font.pixelSize: FONTSIZE_SUB }
                }
                Text {
                    objectName: "plainResultText"
                    width: parent.width
                    wrapMode: Text.Wrap
                    textFormat: Text.RichText
                    baseUrl: root.cp ? root.cp.projectUrl + "/" : ""
                    text: model.html
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_DEF
                    color: TEXTCOLOR_MAIN
                }
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
        var list = [prosmgr.cp]
        var page = conversations.item
        if (page && page.initables !== undefined)
            list = list.concat(page.initables)
        return list
    }

    function afterOpen(res, err) {
        opening = false
        if (!res) {
            msgbox.createObject(winroot).critical("", err)
            return
        }
        if (cp.isConvertingFile() && cp.convertStatus() === 0) {
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
        // A child of the page: leaving the page while it runs waits for it.
        initThread = initThreadComponent.createObject(root, { inits: initables() })
        initThread.initFinished.connect(afterOpen)
        initThread.start()
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
