import QtQuick 2.15
import ExportHandlingItemModel 1.0

// The progress of one export: a row per project. OK opens the export folder.
BatchHandling {
    id: root
    objectName: "exportFileHandling"

    property string exportType: ""
    property string saveRootUrl: ""
    property var projectUrls: []
    property var settings: ({})

    title: qsTr("IDS_TITLE_EXPORTING")
    titleSuc: qsTr("Exported Completed!")
    model: exportModel
    goBack: function() { navUtil.pop() }
    afterSuc: function() { Qt.openUrlExternally(exportModel.exportDirUrl) }

    ExportHandlingItemModel {
        id: exportModel
        exportType: root.exportType
        saveRootUrl: root.saveRootUrl
        projectUrls: root.projectUrls
        withSpeaker: !!root.settings.withSpeaker
        withTime: !!root.settings.withTime
        withAudio: !!root.settings.withAudio
        withHLCMMT: !!root.settings.withHLCMMT
    }

    Component.onCompleted: exportModel.init()

    // Leaving while the export runs asks first and cancels it.
    function nav(f) {
        if (exportModel && !exportModel.totalFinished) {
            msgbox.createObject(winroot).question("", qsTr("IDS_WILL_CANCEL_EXPORTING_FILES_CONFINUE?"), function() {
                exportModel.cancel()
                navUtil.pop()
                f()
            })
            return
        }
        navUtil.pop()
        f()
    }
}
