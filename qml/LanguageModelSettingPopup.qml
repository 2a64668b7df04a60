import QtQuick 2.15
import QtQuick.Controls 2.15
import VoskLangItemModel 1.0
import LangModelInstallThreadMgr 1.0
import "Theme.js" as Theme

// Picks the recognition language and installs its models. curlang is the
// chosen key; the installers live as long as the popup.
MyPopup {
    id: root
    objectName: "languageModelSettingPopup"

    property string curlang: ""
    readonly property int opWidth: 170

    width: 660
    height: 540

    // The installers end with the popup; a download cut short must not go
    // unnoticed.
    onAboutToHide: {
        if (installMgr.isAnyRunning())
            msgbox.createObject(winroot).information("", qsTr("The download was stopped."))
    }

    LangModelInstallThreadMgr {
        id: installMgr
    }

    VoskLangItemModel {
        id: langModel
    }

    Column {
        anchors.fill: parent
        spacing: 12

        Item {
            width: parent.width
            height: 28
            MyText {
                text: qsTr("Language")
                font.pixelSize: FONTSIZE_TITLE
                font.bold: true
                anchors.verticalCenter: parent.verticalCenter
            }
            WinCloseBtn {
                objectName: "langPopupClose"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                glyphColor: TEXTCOLOR_MAIN2
                onClicked: root.close()
            }
        }

        MyTextField {
            objectName: "langSearch"
            width: parent.width
            placeholderText: qsTr("IDS_PRESS_ENTER_SEARCH_LANGUAGES")
            onAccepted: langModel.search(text)
        }

        Row {
            width: parent.width
            height: 40
            MyText {
                width: parent.width - 2 * root.opWidth
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Language")
                font.bold: true
            }
            MyText {
                width: root.opWidth
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Standard Accuracy")
                font.bold: true
            }
            Column {
                width: root.opWidth
                anchors.verticalCenter: parent.verticalCenter
                MyText {
                    text: qsTr("Higher Accuracy")
                    font.bold: true
                }
                MyText {
                    text: qsTr("%1GB RAM required").arg(8)
                    color: Theme.muted
                    font.pixelSize: FONTSIZE_SUB2
                }
            }
        }

        Line {
            width: parent.width
        }

        ListView {
            id: list
            objectName: "langList"
            width: parent.width
            height: parent.height - y
            clip: true
            model: langModel
            ScrollBar.vertical: ScrollBar {}

            delegate: Item {
                objectName: "langRow_" + model.fn
                width: list.width
                height: Math.max(48, opS.implicitHeight, opH.implicitHeight) + 8

                MyText {
                    width: parent.width - 2 * root.opWidth - 8
                    anchors.verticalCenter: parent.verticalCenter
                    text: model.name
                    elide: Text.ElideRight
                }
                LanguageModelSettingPopupOp {
                    id: opS
                    objectName: "op_" + k
                    x: parent.width - 2 * root.opWidth
                    width: root.opWidth
                    anchors.verticalCenter: parent.verticalCenter
                    visible: model.has_s
                    k: model.fn + "-s"
                    curlang: root.curlang
                    mgr: installMgr
                    onPicked: root.curlang = key
                }
                LanguageModelSettingPopupOp {
                    id: opH
                    objectName: "op_" + k
                    x: parent.width - root.opWidth
                    width: root.opWidth
                    anchors.verticalCenter: parent.verticalCenter
                    visible: model.has_h
                    k: model.fn + "-h"
                    curlang: root.curlang
                    mgr: installMgr
                    onPicked: root.curlang = key
                }
                Line {
                    width: parent.width
                    anchors.bottom: parent.bottom
                    color: "#EEF0F3"
                }
            }
        }
    }
}
