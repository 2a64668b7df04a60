import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.2
import ProjectMainController 1.0
import "Theme.js" as Theme

// The bar above the conversation: the state of the run, its controls, the
// project's settings and further runs in the same project.
Rectangle {
    id: root
    objectName: "conversationControlBar"
    property var cp: prosmgr.cp
    readonly property bool starting: cp !== null && cp.isStarting !== 0
    readonly property bool running: cp !== null && cp.isRunning !== 0
    readonly property bool converting: running && cp.mode === ProjectMainController.Convert
    readonly property bool live: running && !converting
    readonly property bool transcribing: running && cp.mode === ProjectMainController.Transcribe
    property string clockText: "00:00:00"
    // The clock shows the time recorded: pauses do not count.
    property real pausedSecs: 0
    property real pausedSince: 0
    // Below this width the view and settings buttons take a second line.
    readonly property bool oneLine: left.implicitWidth + viewButtons.implicitWidth + 16 * 2 + 12 <= width

    implicitHeight: oneLine ? 56 : 56 + viewButtons.implicitHeight + 8
    color: Theme.side

    Line { anchors.bottom: parent.bottom; width: parent.width }

    Timer {
        interval: 1000
        repeat: true
        running: root.live
        triggeredOnStart: true
        onTriggered: root.updateClock()
    }
    onLiveChanged: updateClock()

    Connections {
        target: root.cp
        function onStartSecsChanged() {
            root.pausedSecs = 0
            root.pausedSince = root.cp.isPaused ? Date.now() / 1000 : 0
            root.updateClock()
        }
        function onIsPausedChanged() {
            var now = Date.now() / 1000
            if (root.cp.isPaused) {
                root.pausedSince = now
            } else if (root.pausedSince > 0) {
                root.pausedSecs += now - root.pausedSince
                root.pausedSince = 0
            }
            root.updateClock()
        }
    }

    function updateClock() {
        if (!cp || cp.startSecs <= 0) {
            clockText = "00:00:00"
            return
        }
        var now = Date.now() / 1000
        var paused = pausedSecs + (pausedSince > 0 ? now - pausedSince : 0)
        clockText = baseutil.formatSecs(Math.max(0, Math.floor(now - cp.startSecs - paused)))
    }

    Row {
        id: left
        anchors.left: parent.left
        anchors.leftMargin: 16
        y: Math.round((56 - height) / 2)
        spacing: 12

        BusyIndicator {
            objectName: "startingIndicator"
            visible: root.starting
            running: visible
            width: 32; height: 32
            anchors.verticalCenter: parent.verticalCenter
        }

        // A file conversion.
        Row {
            visible: root.converting
            spacing: 12
            anchors.verticalCenter: parent.verticalCenter
            MyText {
                text: qsTr("Converting...")
                anchors.verticalCenter: parent.verticalCenter
            }
            MyProgressBar {
                objectName: "convertProgress"
                width: 240
                from: 0
                to: 100
                value: root.cp ? root.cp.convertProgress : 0
                anchors.verticalCenter: parent.verticalCenter
            }
            MyText {
                objectName: "convertPercent"
                text: "%1%".arg(root.cp ? root.cp.convertProgress : 0)
                color: TEXTCOLOR_MAIN2
                anchors.verticalCenter: parent.verticalCenter
            }
            SimpleButton {
                objectName: "stopConvert"
                text: qsTr("IDS_CTRL_STOP")
                onClicked: msgbox.createObject(winroot).question("", qsTr("IDS_CONFIRM_STOP_CONVERTING"),
                                                                 function() { if (root.cp) root.cp.stop() })
            }
        }

        // A recording or a transcription.
        Row {
            visible: root.live
            spacing: 10
            anchors.verticalCenter: parent.verticalCenter
            SimpleButton {
                objectName: "pauseButton"
                text: root.cp && root.cp.isPaused ? qsTr("IDS_CTRL_CONTINUE") : qsTr("IDS_CTRL_PAUSE")
                onClicked: root.cp.togglePause()
            }
            SimpleButton {
                objectName: "stopButton"
                text: qsTr("IDS_CTRL_STOP")
                onClicked: root.cp.stop()
            }
            SimpleButton {
                objectName: "highlightButton"
                text: qsTr("IDS_CTRL_HIGHLIGHT")
                enabled: root.cp ? !root.cp.highlightLast : false
                onClicked: root.cp.highlightLast = true
            }
            MyText {
                objectName: "runClock"
                text: root.clockText
                font.pixelSize: FONTSIZE_TITLE
                color: TEXTCOLOR_MAIN2
                anchors.verticalCenter: parent.verticalCenter
            }
        }

        // Sources of a transcription.
        Row {
            visible: root.transcribing
            spacing: 6
            anchors.verticalCenter: parent.verticalCenter
            MyRadioButton {
                id: speakerRadio
                objectName: "sourceSpeaker"
                text: qsTr("IDS_SOURCE_SPEAKER")
                checked: root.cp ? root.cp.devid === 2 : false
                onClicked: root.switchSource(true, this)
            }
            MyRadioButton {
                id: micRadio
                objectName: "sourceMicrophone"
                text: qsTr("IDS_SOURCE_MICROPHONE")
                checked: root.cp ? root.cp.devid === 1 : false
                onClicked: root.switchSource(false, this)
            }
        }

        // Further runs in the same project.
        Row {
            visible: root.cp !== null && !root.running && !root.starting
            spacing: 10
            anchors.verticalCenter: parent.verticalCenter
            SimpleButton {
                objectName: "expandRecord"
                text: qsTr("IDS_CTRL_EXPAND_RECORD")
                onClicked: root.expand(ProjectMainController.Record)
            }
            SimpleButton {
                objectName: "expandConvert"
                text: qsTr("IDS_CTRL_EXPAND_CONVERT")
                onClicked: root.chooseConvertFile()
            }
            SimpleButton {
                objectName: "expandTranscribe"
                text: qsTr("IDS_CTRL_EXPAND_TRANSCRIBE")
                onClicked: root.expand(ProjectMainController.Transcribe)
            }
        }
    }

    Row {
        id: viewButtons
        anchors.right: parent.right
        anchors.rightMargin: 16
        y: root.oneLine ? Math.round((56 - height) / 2) : 56
        spacing: 10

        SimpleButton {
            objectName: "dockHorizontal"
            visible: root.transcribing
            text: qsTr("IDS_CTRL_DOCK_HORIZONTAL")
            onClicked: root.openDock("qrc:/DockHorizontal.qml")
        }
        SimpleButton {
            objectName: "dockVertical"
            visible: root.transcribing
            text: qsTr("IDS_CTRL_DOCK_VERTICAL")
            onClicked: root.openDock("qrc:/DockVertical.qml")
        }
        SimpleButton {
            objectName: "settingsButton"
            visible: root.cp !== null
            text: qsTr("IDS_CTRL_SETTINGS")
            onClicked: root.openSettings()
        }
    }

    function switchSource(loopback, radio) {
        if (!cp)
            return
        var ok = loopback ? cp.switchToLoopback() : cp.switchToMic()
        if (!ok) {
            radio.checked = false
            msgbox.createObject(winroot).critical("", cp.lastErr)
        }
        // Back to what the controller says.
        speakerRadio.checked = Qt.binding(function() { return root.cp ? root.cp.devid === 2 : false })
        micRadio.checked = Qt.binding(function() { return root.cp ? root.cp.devid === 1 : false })
    }

    function openDock(url) {
        mainwin.hide()
        baseutil.qmlLoad(url)
    }

    Component {
        id: formComponent
        ProjectSettingForm {
            onClosed: destroy()
        }
    }

    function settingsForm(mode, canEditName) {
        var srate = cp.info("srate")
        var props = {
            mode: mode,
            projectName: cp.projectName,
            lang: cp.projectLang,
            speechRate: srate === undefined || srate === null ? 0.5 : Number(srate),
            canChoosePath: false,
            canEditProjectName: canEditName
        }
        var form = formComponent.createObject(winroot.contentItem, props)
        form.open()
        return form
    }

    // Stores rate and language from the form; true when the language changed.
    function applyForm(form) {
        cp.setInfo("srate", form.speechRate)
        if (form.lang !== "" && form.lang !== cp.projectLang) {
            settings.put("lang", form.lang)
            langdb.touch(form.lang)
            cp.projectLang = form.lang
            return true
        }
        return false
    }

    function openSettings() {
        if (!cp)
            return null
        var form = settingsForm(cp.mode, true)
        form.okPressed.connect(function() {
            if (form.projectName === "") {
                msgbox.createObject(winroot).warning("", qsTr("IDS_PLEASE_ENTER_PROJECT_NAME"))
                return
            }
            if (form.lang !== cp.projectLang && !form.requireModel())
                return
            cp.projectName = form.projectName
            var changed = applyForm(form)
            form.close()
            if (changed)
                cp.restart()
        })
        return form
    }

    function expand(mode, fileUrl) {
        if (!cp)
            return null
        var form = settingsForm(mode, false)
        form.okPressed.connect(function() {
            if (!form.requireModel())
                return
            applyForm(form)
            form.close()
            if (mode === ProjectMainController.Record) {
                cp.startRecord()
            } else if (mode === ProjectMainController.Convert) {
                cp.convertFileUrl = fileUrl
                cp.startConvert()
            } else {
                cp.startTranscribe()
            }
        })
        return form
    }

    Component {
        id: fileDialogComponent
        FileDialog {
            title: qsTr("IDS_SELECT_CONVERT_FILE")
            selectMultiple: false
            folder: shortcuts.documents
            onAccepted: {
                root.expand(ProjectMainController.Convert, String(fileUrl))
                destroy()
            }
            onRejected: destroy()
        }
    }

    function chooseConvertFile() {
        var dlg = fileDialogComponent.createObject(root)
        dlg.open()
        return dlg
    }
}
