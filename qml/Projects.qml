import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.2
import ProjectsItemModel 1.0
import "Theme.js" as Theme

// Every project the catalogue knows, newest first. The list is read when
// the page is made; a visit to the page reads it again.
Rectangle {
    id: root
    objectName: "projectsPage"
    color: Theme.page

    readonly property alias model: projectsItemModel
    readonly property alias list: list

    ProjectsItemModel {
        id: projectsItemModel
    }

    Item {
        id: bar
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 20
        height: 40

        MyText {
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Projects")
            font.pixelSize: FONTSIZE_TITLE1
            font.bold: true
        }

        Row {
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8

            MyCheckbox {
                objectName: "tickAll"
                anchors.verticalCenter: parent.verticalCenter
                visible: projectsItemModel.checkedCount !== 0
                checked: projectsItemModel.checkedCount === list.count
                onClicked: projectsItemModel.setCheckedAll(checked)
            }
            ProjectsFunBtn {
                objectName: "exportBtn"
                text: qsTr("Export")
                iconSource: "qrc:/qrc/export.png"
                enabled: projectsItemModel.checkedCount !== 0
                onClicked: root.openExport(projectsItemModel.selProjectUrls())
            }
            ProjectsFunBtn {
                objectName: "deleteBtn"
                text: qsTr("Delete")
                iconSource: "qrc:/qrc/btn_delete.png"
                enabled: projectsItemModel.checkedCount !== 0
                onClicked: root.deleteSelected()
            }
            ProjectsFunBtn {
                objectName: "importBtn"
                text: qsTr("Import")
                iconSource: "qrc:/qrc/folder.png"
                onClicked: root.chooseImport()
            }
        }
    }

    Line {
        id: line
        anchors.top: bar.bottom
        anchors.topMargin: 10
    }

    ListView {
        id: list
        objectName: "projectList"
        anchors.top: line.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: 8
        anchors.rightMargin: 8
        clip: true
        model: projectsItemModel
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}
        delegate: ProjectInfoDelegate {
            width: list.width
            page: root
            listModel: projectsItemModel
        }
    }

    MyText {
        objectName: "noProjects"
        anchors.centerIn: list
        visible: list.count === 0
        text: qsTr("No projects yet.")
        color: Theme.muted
    }

    function openExport(urls) {
        var comp = Qt.createComponent("qrc:/ExportSetting.qml")
        if (comp.status !== Component.Ready) {
            msgbox.createObject(winroot).critical("", comp.errorString())
            return null
        }
        return comp.createObject(winroot, { projectUrls: urls })
    }

    // The project being deleted may be the entered one: it is left first.
    function deleteProject(idx) {
        msgbox.createObject(winroot).question("", qsTr("IDS_CONFIRM_DELETE_PROJECT?"), function() {
            prosmgr.existProject()
            var before = list.count
            projectsItemModel.deleteProject(idx)
            root.tellDeleted(list.count === before)
        })
    }

    function deleteSelected() {
        msgbox.createObject(winroot).question("", qsTr("IDS_CONFIRM_DELETE_SELECT_PROJECTS?"), function() {
            prosmgr.existProject()
            projectsItemModel.deleteSelProjects()
            // Rows that could not go stay ticked.
            root.tellDeleted(projectsItemModel.checkedCount !== 0)
        })
    }

    // What stayed behind: files of the user's kept with a deleted project,
    // or why a project is still listed.
    function tellDeleted(failed) {
        var text = projectsItemModel.lastErr
        if (failed)
            msgbox.createObject(winroot).critical("", text)
        else if (text !== "")
            msgbox.createObject(winroot).information("", text)
    }

    function importFolder(url) {
        if (!projectsItemModel.importProject(url)) {
            msgbox.createObject(winroot).critical("", projectsItemModel.lastErr)
            return false
        }
        return true
    }

    Component {
        id: importDialogComponent
        FileDialog {
            title: qsTr("IDS_SELECT_PROJECT_PATH")
            selectFolder: true
            folder: shortcuts.documents
            onAccepted: {
                if (fileUrls.length > 0)
                    root.importFolder(String(fileUrls[0]))
                destroy()
            }
            onRejected: destroy()
        }
    }

    function chooseImport() {
        var dlg = importDialogComponent.createObject(root)
        dlg.open()
        return dlg
    }
}
