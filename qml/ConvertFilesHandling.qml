import QtQuick 2.15
import ConvertFilesHandlingItemModel 1.0

// Several files chosen together on the home page, each converted into a new
// project of its own, one after another.
BatchHandling {
    id: page
    objectName: "convertFilesPage"

    property var convertFiles: []
    property string lang: ""
    property string rootUrl: ""
    property real speechRate: 0

    title: qsTr("IDS_TITLE_CONVERTING")
    titleSuc: qsTr("Converted Completed!")
    model: convertModel

    ConvertFilesHandlingItemModel {
        id: convertModel
        lang: page.lang
        fileUrls: page.convertFiles
        rootUrl: page.rootUrl
        speechRate: page.speechRate
        Component.onCompleted: init()
    }

    // Asked by the navigation before the page is left. A batch canceled by
    // its own Cancel button has been asked about already.
    function nav(fun) {
        if (model && !model.totalFinished && !model.isCanceled()) {
            msgbox.createObject(winroot).question("", qsTr("IDS_WILL_CANCEL_CONVERTING_FILES_CONFINUE?"), function() {
                model.cancel()
                fun()
            })
            return
        }
        fun()
    }
}
