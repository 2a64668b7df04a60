import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.2
import "Theme.js" as Theme

// Name, folder, files, language and speech rate of a new (or the current)
// project. OK only emits okPressed: the caller validates and closes.
MyPopup {
    id: root
    objectName: "projectSettingForm"

    property int mode: 0
    property bool showProjectName: true
    property bool canChoosePath: true
    property bool canEditProjectName: true
    property string projectName: ""
    property string projectRoot: prosmgr.defaultRootUrl()
    property var convertFiles: []
    property string lang: {
        var v = settings.get("lang")
        return v === undefined || v === null || String(v) === "" ? "en-s" : String(v)
    }
    property string langDisplay: langdb.display(lang)
    property real speechRate: 0.5

    signal okPressed()

    width: 560
    height: content.implicitHeight + 48

    function localPath(url) {
        var s = String(url)
        return s.indexOf("file://") === 0 ? decodeURIComponent(s.substring(7)) : s
    }

    Column {
        id: content
        anchors.fill: parent
        anchors.margins: 8
        spacing: 18

        Item {
            width: parent.width
            height: 28
            MyText {
                text: qsTr("Project Settings")
                font.pixelSize: FONTSIZE_TITLE
                font.bold: true
                anchors.verticalCenter: parent.verticalCenter
            }
            WinCloseBtn {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                glyphColor: TEXTCOLOR_MAIN2
                onClicked: root.close()
            }
        }

        MySettingForm {
            width: parent.width

            MySettingForm_Item {
                visible: root.showProjectName
                label: qsTr("Name:")
                MyTextField {
                    objectName: "nameField"
                    width: parent.width
                    text: root.projectName
                    readOnly: !root.canEditProjectName
                    onTextChanged: root.projectName = text
                }
            }
            MySettingForm_Item {
                label: qsTr("Save To:")
                Row {
                    width: parent.width
                    spacing: 8
                    MyText {
                        objectName: "rootText"
                        width: parent.width - selectBtn.width - 8
                        anchors.verticalCenter: parent.verticalCenter
                        text: root.localPath(root.projectRoot)
                        elide: Text.ElideMiddle
                        color: TEXTCOLOR_MAIN2
                    }
                    SimpleButton {
                        id: selectBtn
                        text: qsTr("Select")
                        enabled: root.canChoosePath
                        onClicked: folderDialogComponent.createObject(root.contentItem).open()
                    }
                }
            }
            MySettingForm_Item {
                visible: root.convertFiles.length > 0
                label: qsTr("Convert:")
                Column {
                    width: parent.width
                    topPadding: 8
                    Repeater {
                        model: root.convertFiles.length > 3 ? 3 : root.convertFiles.length
                        MyText {
                            width: parent.width
                            elide: Text.ElideMiddle
                            text: baseutil.fileName(root.convertFiles[index])
                            color: TEXTCOLOR_MAIN2
                        }
                    }
                    MyText {
                        visible: root.convertFiles.length > 3
                        text: qsTr("and %1 more").arg(root.convertFiles.length - 3)
                        color: Theme.muted
                        font.pixelSize: FONTSIZE_SUB2
                    }
                }
            }
            MySettingForm_Item {
                label: qsTr("Language:")
                Row {
                    width: parent.width
                    spacing: 8
                    MyText {
                        objectName: "langText"
                        width: parent.width - setBtn.width - 8
                        anchors.verticalCenter: parent.verticalCenter
                        text: root.langDisplay
                        elide: Text.ElideRight
                    }
                    SimpleButton {
                        id: setBtn
                        objectName: "langSetBtn"
                        text: qsTr("Set")
                        onClicked: root.openLanguages()
                    }
                }
            }
            MySettingForm_Item {
                label: qsTr("Speech Rate:")
                Row {
                    width: parent.width
                    spacing: 8
                    MyText { text: qsTr("Fast"); color: Theme.muted; anchors.verticalCenter: parent.verticalCenter }
                    ScaleSlider {
                        objectName: "speechRateSlider"
                        width: parent.width - 90
                        from: 0.05
                        to: 1.0
                        value: root.speechRate
                        onMoved: root.speechRate = value
                    }
                    MyText { text: qsTr("Slow"); color: Theme.muted; anchors.verticalCenter: parent.verticalCenter }
                }
            }
        }

        Row {
            anchors.right: parent.right
            spacing: 10
            SimpleButton {
                text: qsTr("Cancel")
                onClicked: root.close()
            }
            SimpleButton {
                objectName: "formOk"
                primary: true
                text: qsTr("OK")
                onClicked: root.okPressed()
            }
        }
    }

    Component {
        id: folderDialogComponent
        FileDialog {
            title: qsTr("IDS_SELECT_PROJECT_SAVE_PATH")
            selectFolder: true
            folder: root.projectRoot
            onAccepted: {
                root.projectRoot = String(fileUrl)
                destroy()
            }
            onRejected: destroy()
        }
    }

    Component {
        id: langComponent
        LanguageModelSettingPopup {
            onClosed: destroy()
        }
    }

    // The language popup, while it is open.
    property var languagePopup: null

    // A run needs the chosen language's model: without one the user is sent
    // to the languages before anything is made.
    function requireModel() {
        if (langdb.isInstalled(lang))
            return true
        msgbox.createObject(winroot).warning("",
            qsTr("The language model of %1 is not installed. Please download it first.").arg(langDisplay))
        openLanguages()
        return false
    }

    function openLanguages() {
        var popup = langComponent.createObject(root.parent, { curlang: root.lang })
        languagePopup = popup
        popup.closed.connect(function() { if (root.languagePopup === popup) root.languagePopup = null })
        popup.curlangChanged.connect(function() { root.lang = popup.curlang })
        popup.open()
        return popup
    }
}
