import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.2
import ExportHandlingItemModel 1.0
import "Theme.js" as Theme

// Where and how to export projectUrls. Asks for the folder first; without
// one it goes away. Save opens the export's progress page.
MyPopup {
    id: root
    objectName: "exportSetting"

    property var projectUrls: []
    property string saveRootUrl: ""

    width: 500
    height: 580

    onClosed: destroy()
    Component.onCompleted: folderDialog.open()

    function folderChosen(url) {
        folderDialog.close()
        saveRootUrl = url
        open()
    }

    function localPath(url) {
        var s = String(url)
        return s.indexOf("file://") === 0 ? decodeURIComponent(s.substring(7)) : s
    }

    function save() {
        var urls = root.projectUrls.slice()
        navUtil.push()
        navUtil.nav("ExportFileHandling.qml", {
            exportType: typeBox.currentText,
            saveRootUrl: root.saveRootUrl,
            projectUrls: urls,
            settings: {
                withSpeaker: speakerSwitch.checked,
                withTime: timeSwitch.checked,
                withAudio: audioSwitch.checked,
                withHLCMMT: hlSwitch.checked
            }
        })
        close()
    }

    // Only for the list of types that can be written.
    ExportHandlingItemModel { id: types }

    FileDialog {
        id: folderDialog
        title: qsTr("IDS_SELECT_EXPORT_SAVE_PATH")
        selectFolder: true
        folder: shortcuts.documents
        onAccepted: root.folderChosen(String(fileUrl))
        onRejected: if (root.saveRootUrl === "") root.destroy()
    }

    Item {
        anchors.fill: parent

        Item {
            id: titleRow
            width: parent.width
            height: 28
            MyText {
                text: qsTr("IDS_TITLE_EXPORT_SETTING")
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
            anchors.top: titleRow.bottom
            anchors.topMargin: 24
            width: parent.width
            spacing: 18

            MySettingForm_Item {
                label: qsTr("Save Path:")
                MyText {
                    objectName: "exportSavePath"
                    width: parent.width
                    height: 34
                    verticalAlignment: Text.AlignVCenter
                    text: root.localPath(root.saveRootUrl)
                    elide: Text.ElideMiddle
                    color: TEXTCOLOR_MAIN2
                }
            }
            MySettingForm_Item {
                label: qsTr("Export Type:")
                MyComboBox {
                    id: typeBox
                    objectName: "exportTypeBox"
                    width: parent.width
                    model: types.exportTypes()
                    currentIndex: 0
                }
            }
            Line { width: parent.width }
            MySwitch { id: speakerSwitch; objectName: "withSpeakerSwitch"; text: qsTr("IDS_WITH_SPEAKER:") }
            MySwitch { id: timeSwitch; objectName: "withTimeSwitch"; text: qsTr("IDS_WITH_TIME:") }
            MySwitch { id: audioSwitch; objectName: "withAudioSwitch"; text: qsTr("IDS_WITH_AUDIO:") }
            MySwitch { id: hlSwitch; objectName: "withHLCMMTSwitch"; text: qsTr("IDS_HIGHTLIGHTCOMMENTS:") }
        }

        Row {
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            spacing: 10
            SimpleButton {
                text: qsTr("Cancel")
                onClicked: root.close()
            }
            SimpleButton {
                objectName: "exportSave"
                primary: true
                text: qsTr("Save")
                enabled: typeBox.count > 0
                onClicked: root.save()
            }
        }
    }
}
