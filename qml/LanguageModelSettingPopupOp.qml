import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.2
import "Theme.js" as Theme

// One model (key k) of the language popup: its download in progress, a check
// box to choose it once installed, or an Install button.
Item {
    id: root

    property string k: ""
    property string curlang: ""
    property var mgr: null
    // Asked once; a test may put another figure in.
    property real totalMemory: baseutil.totalMemory()
    readonly property real requiredMemory: 8 * 1000000000

    property bool running: mgr ? mgr.isRunning(k) : false
    property bool installed: langdb.isInstalled(k)
    property string err: mgr ? mgr.lastErr(k) : ""
    property int progress: 0
    property string status: ""

    signal picked(string key)

    implicitHeight: running ? downloading.implicitHeight : (installed ? check.implicitHeight : installCol.implicitHeight)

    // Large models need the memory to load them; refuse with a warning.
    function memoryAllows() {
        if (!k.endsWith("-h") || totalMemory >= requiredMemory)
            return true
        msgbox.createObject(winroot).warning("",
            qsTr("Sorry, %1GB RAM is required to set higher accuracy language model.").arg(8))
        return false
    }

    function choose() {
        if (memoryAllows())
            picked(k)
    }

    function askFolder() {
        if (!memoryAllows())
            return
        err = ""
        folderDialogComponent.createObject(root).open()
    }

    function install(url) {
        mgr.beginInstall(k, url)
        progress = 0
        status = ""
        running = mgr.isRunning(k)
    }

    Connections {
        target: root.mgr
        function onProgressUpdate(lang, progress, status) {
            if (lang !== root.k)
                return
            root.progress = progress
            root.status = status
        }
        function onFinished(lang, suc, err) {
            if (lang !== root.k)
                return
            root.running = root.mgr.isRunning(root.k)
            if (suc)
                root.installed = langdb.isInstalled(root.k)
            else
                root.err = err
        }
    }

    Column {
        id: downloading
        objectName: "downloading"
        visible: root.running
        width: parent.width
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4
        MyProgressBar {
            objectName: "installProgress"
            width: parent.width - 16
            from: 0
            to: 100
            value: root.progress
        }
        MyText {
            objectName: "installStatus"
            width: parent.width - 16
            text: root.status
            color: Theme.muted
            font.pixelSize: FONTSIZE_SUB2
            elide: Text.ElideRight
        }
    }

    MyCheckbox {
        id: check
        objectName: "installedCheck"
        visible: !root.running && root.installed
        anchors.verticalCenter: parent.verticalCenter
        checkable: false
        checked: root.curlang === root.k
        onClicked: {
            if (root.curlang !== root.k)
                root.choose()
            // A click must never untick it; the key alone decides.
            checked = Qt.binding(function() { return root.curlang === root.k })
        }
    }

    Column {
        id: installCol
        visible: !root.running && !root.installed
        width: parent.width
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4
        SimpleButton {
            objectName: "installBtn"
            text: qsTr("Install")
            onClicked: root.askFolder()
        }
        MyText {
            objectName: "installErr"
            visible: root.err !== ""
            width: parent.width - 16
            text: qsTr("Error: ") + root.err
            color: "red"
            font.pixelSize: FONTSIZE_SUB2
            wrapMode: Text.Wrap
        }
    }

    Component {
        id: folderDialogComponent
        FileDialog {
            title: qsTr("IDS_SELECT_LANG_SAVE_PATH")
            selectFolder: true
            selectExisting: true
            folder: langdb.defaultSaveRootUrl()
            onAccepted: {
                root.install(String(fileUrl))
                destroy()
            }
            onRejected: destroy()
        }
    }
}
