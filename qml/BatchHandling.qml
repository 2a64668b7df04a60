import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// The page of any batch model: one row per job with its state, progress and
// error, the totals, and Cancel while the batch runs or OK once it is done.
Rectangle {
    id: root
    objectName: "batchPage"
    color: Theme.page

    property string title: ""
    property string titleSuc: ""
    property var model: null
    property var goBack: function() { navUtil.nav("Projects.qml") }
    property var afterSuc: null

    readonly property bool done: model !== null && model.totalFinished

    Column {
        id: body
        anchors.centerIn: parent
        width: Math.min(parent.width - 80, 720)
        spacing: 24

        MyText {
            objectName: "batchTitle"
            width: parent.width
            text: root.done ? root.titleSuc : root.title
            font.pixelSize: FONTSIZE_TITLE1
            font.bold: true
            color: TEXTCOLOR_MAIN
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
        }

        MyText {
            objectName: "batchTotals"
            width: parent.width
            text: qsTr("Total: %1 / %2").arg(root.model ? root.model.finished : 0).arg(root.model ? root.model.total : 0)
            color: TEXTCOLOR_MAIN2
            horizontalAlignment: Text.AlignHCenter
        }

        Rectangle {
            width: parent.width
            height: Math.max(50, Math.min(400, list.contentHeight + 32))
            radius: Theme.radius
            border.color: Theme.border
            color: "white"

            ListView {
                id: list
                objectName: "batchList"
                anchors.fill: parent
                anchors.margins: 16
                spacing: 20
                clip: true
                model: root.model
                boundsBehavior: Flickable.StopAtBounds
                // Only a list that reached its largest height scrolls; a shorter one
                // is as tall as its rows.
                ScrollBar.vertical: ScrollBar { policy: list.contentHeight + 32 > 400 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff }

                delegate: Row {
                    id: row
                    objectName: "batchRow_" + idx
                    width: ListView.view.width - 14
                    spacing: 12

                    readonly property var job: d

                    Item {
                        width: 24
                        height: 24
                        BusyIndicator {
                            anchors.fill: parent
                            visible: row.job.status === 0
                            running: visible
                        }
                        Image {
                            anchors.fill: parent
                            visible: row.job.status !== 0
                            source: row.job.status < 0 ? "qrc:/qrc/icon_failed.png" : "qrc:/qrc/icon_suc.png"
                            sourceSize: Qt.size(48, 48)
                            smooth: true
                        }
                    }

                    Column {
                        width: row.width - 36
                        spacing: 6
                        MyText {
                            width: parent.width
                            text: row.job.name
                            elide: Text.ElideMiddle
                            color: TEXTCOLOR_MAIN
                        }
                        Row {
                            visible: row.job.status === 0
                            spacing: 10
                            MyProgressBar {
                                width: row.width - 100
                                anchors.verticalCenter: parent.verticalCenter
                                from: 0
                                to: 100
                                value: row.job.progress
                            }
                            MyText {
                                text: "%1%".arg(row.job.progress)
                                font.pixelSize: FONTSIZE_SUB
                                color: TEXTCOLOR_MAIN2
                            }
                        }
                        MyText {
                            objectName: "batchErr"
                            visible: row.job.status < 0
                            width: parent.width
                            text: row.job.err
                            wrapMode: Text.Wrap
                            color: Theme.danger
                            font.pixelSize: FONTSIZE_SUB
                        }
                    }
                }
            }
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            SimpleButton {
                objectName: "batchCancel"
                visible: !root.done
                text: qsTr("Cancel")
                onClicked: msgbox.createObject(winroot).question("", qsTr("IDS_CONFIRM_CANCEL?"), function() {
                    root.model.cancel()
                    root.goBack()
                })
            }
            SimpleButton {
                objectName: "batchOk"
                visible: root.done
                primary: true
                text: qsTr("OK")
                onClicked: {
                    if (typeof root.afterSuc === "function")
                        root.afterSuc()
                    root.goBack()
                }
            }
        }
    }
}
