import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import "Theme.js" as Theme

// A narrow column at the side of the screen with the conversation and the
// controls; loaded on its own while the main window is hidden.
Window {
    id: root
    objectName: "dockVertical"
    property var cp: prosmgr.cp
    // The conversation's list model, published to the root context by the
    // conversation page; without it the view lists this window's results.
    readonly property var conversationModel: typeof conversationsItemModel !== "undefined" && conversationsItemModel
                                             ? conversationsItemModel : null
    property string partialHtml: ""

    width: 380
    height: Math.min(Screen.height - 80, 900)
    x: Screen.width - width - 20
    y: 40
    visible: true
    title: PROD_NAME
    flags: Qt.Window | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    color: Theme.page

    onClosing: destroy()

    ListModel { id: ownResults }

    Connections {
        target: root.cp
        function onPartialResult(dev, html) { root.partialHtml = html }
        function onNewResult(spk, seg) {
            root.partialHtml = ""
            if (!root.conversationModel)
                ownResults.append({ speaker: spk.name, color: spk.color, html: seg.html })
            list.positionViewAtEnd()
        }
        function onStopped() {
            root.close()
            mainwin.show()
        }
    }

    Rectangle {
        anchors.fill: parent
        border.color: Theme.border
        color: "transparent"
    }

    Column {
        id: head
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 12
        spacing: 8
        DockVerticalControlBar {
            dockWindow: root
            onFailed: toast.show(err)
        }
        Line { width: parent.width }
    }

    ListView {
        id: list
        objectName: "dockConversation"
        anchors.top: head.bottom
        anchors.bottom: partialRow.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 12
        clip: true
        spacing: 10
        model: root.conversationModel ? root.conversationModel : ownResults
        delegate: root.conversationModel ? conversationDelegate : ownDelegate
        currentIndex: -1
        onCountChanged: positionViewAtEnd()
        Component.onCompleted: {
            if (root.conversationModel)
                currentIndex = count >= 2 ? count - 2 : -1
            positionViewAtEnd()
        }
    }

    Connections {
        target: root.conversationModel
        function onNewPartial() { list.positionViewAtEnd() }
    }

    Component {
        id: conversationDelegate
        DockVerticalConversationDelegate { cp: root.cp }
    }

    Component {
        id: ownDelegate
        Column {
            spacing: 2
            MyText { text: model.speaker; color: model.color; font.pixelSize: FONTSIZE_SUB }
            Text {
                width: list.width
                wrapMode: Text.Wrap
                textFormat: Text.RichText
                baseUrl: root.cp ? root.cp.projectUrl + "/" : ""
                text: model.html
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
            }
        }
    }

    Text {
        id: partialRow
        objectName: "dockPartial"
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 12
        // The conversation model has its own live row.
        visible: !root.conversationModel && root.cp !== null && root.cp.isRunning !== 0 && root.partialHtml !== ""
        height: visible ? implicitHeight : 0
        wrapMode: Text.Wrap
        textFormat: Text.RichText
        color: Theme.muted
        text: root.partialHtml
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_DEF
    }

    MyToast {
        id: toast
        duration: 2000
        bottomOffset: 40
    }
}
