import QtQuick 2.15
import QtQuick.Dialogs 1.2
import "Theme.js" as Theme

Rectangle {
    id: home
    objectName: "homePage"
    color: Theme.page

    // ProjectMainController's modes.
    readonly property int modeRecord: 1
    readonly property int modeConvert: 2
    readonly property int modeTranscribe: 3

    Column {
        anchors.centerIn: parent
        spacing: 40

        Column {
            spacing: 10
            anchors.horizontalCenter: parent.horizontalCenter
            MyText {
                text: qsTr("Your Best Automatic Transcription Tool")
                font.pixelSize: 28
                font.bold: true
                color: TEXTCOLOR_MAIN
                anchors.horizontalCenter: parent.horizontalCenter
            }
            MyText {
                text: qsTr("The fastest & easiest way to convert audio to text offline")
                font.pixelSize: FONTSIZE_TITLE
                color: TEXTCOLOR_MAIN2
                anchors.horizontalCenter: parent.horizontalCenter
            }
        }

        Row {
            spacing: 28
            anchors.horizontalCenter: parent.horizontalCenter

            HomeItem {
                objectName: "tileRecord"
                icon: "qrc:/qrc/home_record.svg"
                title: qsTr("Record")
                description: qsTr("Automatically record & transcribe speech to text offline on PC")
                onClicked: home.openSettings(home.modeRecord, [])
            }
            HomeItem {
                objectName: "tileConvert"
                icon: "qrc:/qrc/home_convert.svg"
                title: qsTr("Convert")
                description: qsTr("Easily convert audio file to text and save as txt, doc, html, pdf, etc")
                onClicked: home.chooseFiles()
            }
            HomeItem {
                objectName: "tileTranscribe"
                icon: "qrc:/qrc/home_transcribe.svg"
                title: qsTr("Transcribe")
                description: qsTr("Real-time transcription to transcribe audio to text in a few seconds")
                onClicked: home.transcribe()
            }
        }
    }

    // Made on demand: a file dialog is heavy and most visits never open one.
    Component {
        id: fileDialogComponent
        FileDialog {
            title: qsTr("IDS_SELECT_CONVERT_FILES")
            selectMultiple: true
            folder: shortcuts.documents
            onAccepted: {
                var files = []
                for (var i = 0; i < fileUrls.length; ++i)
                    files.push(String(fileUrls[i]))
                if (files.length > 0)
                    home.openSettings(home.modeConvert, files)
                destroy()
            }
            onRejected: destroy()
        }
    }

    function chooseFiles() {
        var dlg = fileDialogComponent.createObject(home)
        dlg.open()
        return dlg
    }

    Component {
        id: formComponent
        ProjectSettingForm {
            onClosed: destroy()
        }
    }

    function transcribe() {
        if (!prosmgr.hasLoopBackDevices()) {
            msgbox.createObject(winroot).information("", qsTr("No sound output device was found."))
            return null
        }
        return openSettings(modeTranscribe, [])
    }

    function openSettings(mode, files) {
        var props = { mode: mode, convertFiles: files, showProjectName: files.length <= 1 }
        if (files.length > 0)
            props.projectName = "Convert-" + baseutil.fileName(files[0])
        var form = formComponent.createObject(home, props)
        form.okPressed.connect(function() { home.accept(form) })
        form.open()
        return form
    }

    // OK of the settings form; true when the form's work was handed on.
    function accept(form) {
        if (!form.lang) {
            msgbox.createObject(winroot).warning("", qsTr("IDS_PLEASE_SET_LANGUAGE"))
            return false
        }
        if (!form.requireModel())
            return false
        settings.put("lang", form.lang)
        langdb.touch(form.lang)

        if (form.convertFiles.length <= 1) {
            if (form.projectName === "") {
                msgbox.createObject(winroot).warning("", qsTr("IDS_PLEASE_ENTER_PROJECT_NAME"))
                return false
            }
            var url = prosmgr.createProject(form.projectName, form.projectRoot, form.lang, form.speechRate)
            if (url === "") {
                msgbox.createObject(winroot).critical("", prosmgr.lastErr)
                return false
            }
            var mode = form.mode
            var convertFileUrl = form.convertFiles.length > 0 ? form.convertFiles[0] : ""
            form.close()
            navUtil.nav("MainContentFrame.qml", { mode: mode, projectUrl: url, convertFileUrl: convertFileUrl })
            return true
        }

        var p = { convertFiles: form.convertFiles, lang: form.lang, rootUrl: form.projectRoot, speechRate: form.speechRate }
        form.close()
        navUtil.nav("ConvertFilesHandling.qml", p)
        return true
    }
}
