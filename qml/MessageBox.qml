import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// Made by msgbox.createObject(winroot); destroys itself once closed. Each
// button calls the function given for it.
Popup {
    id: root
    objectName: "messageBox"

    readonly property int btnOk: 1
    readonly property int btnCancel: 2
    readonly property int btnYes: 4
    readonly property int btnNo: 8

    property int buttons: btnOk
    property string kind: "information"
    property string title: ""
    property string message: ""
    readonly property string shownText: title !== "" ? "<b>" + title + "</b><br/><br/>" + message : message
    property var handlers: ({})

    parent: Overlay.overlay
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 2) : 0
    width: 420
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    padding: 24
    onClosed: destroy()

    background: Rectangle {
        radius: Theme.radius
        color: "white"
        border.color: Theme.border
    }

    readonly property var kinds: ({
        information: { color: Theme.info, glyph: "i" },
        suc: { color: Theme.success, glyph: "\u2713" },
        question: { color: Theme.accent, glyph: "?" },
        critical: { color: Theme.danger, glyph: "!" },
        warning: { color: Theme.warning, glyph: "!" }
    })

    contentItem: Column {
        spacing: 20

        Row {
            spacing: 16
            width: parent.width

            Rectangle {
                objectName: "msgIcon"
                width: 36
                height: 36
                radius: 18
                color: root.kinds[root.kind].color
                Text {
                    anchors.centerIn: parent
                    text: root.kinds[root.kind].glyph
                    color: "white"
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: 20
                    font.bold: true
                }
            }
            MyText {
                objectName: "msgText"
                width: parent.width - 52
                anchors.verticalCenter: parent.verticalCenter
                text: root.shownText
                textFormat: Text.RichText
                wrapMode: Text.Wrap
                onLinkActivated: Qt.openUrlExternally(link)
            }
        }

        Row {
            anchors.right: parent.right
            spacing: 10

            SimpleButton {
                objectName: "msgBtnYes"
                visible: (root.buttons & root.btnYes) !== 0
                primary: true
                text: qsTr("Yes")
                onClicked: root.answer("yes")
            }
            SimpleButton {
                objectName: "msgBtnNo"
                visible: (root.buttons & root.btnNo) !== 0
                text: qsTr("NO")
                onClicked: root.answer("no")
            }
            SimpleButton {
                objectName: "msgBtnOk"
                visible: (root.buttons & root.btnOk) !== 0
                primary: true
                text: qsTr("OK")
                onClicked: root.answer("ok")
            }
            SimpleButton {
                objectName: "msgBtnCancel"
                visible: (root.buttons & root.btnCancel) !== 0
                text: qsTr("Cancel")
                onClicked: root.answer("cancel")
            }
        }
    }

    function answer(which) {
        var fn = handlers[which]
        close()
        if (typeof fn === "function")
            fn()
    }

    function show(kind, title, text, buttons, handlers) {
        root.kind = kind
        root.title = title || ""
        root.message = text === undefined || text === null ? "" : String(text)
        root.buttons = buttons
        root.handlers = handlers
        open()
        return root
    }

    function information(title, text, okfun) {
        return show("information", title, text, btnOk, { ok: okfun })
    }
    function suc(title, text, okfun) {
        return show("suc", title, text, btnOk, { ok: okfun })
    }
    function question(title, text, yesfun, nofun) {
        return show("question", title, text, btnYes | btnNo, { yes: yesfun, no: nofun })
    }
    function critical(title, text, okfun) {
        var t = title ? title : "%1 v%2".arg(PROD_NAME).arg(PROD_VER)
        return show("critical", t, "An Error Occurred. <br/><br/>%1".arg(text), btnOk, { ok: okfun })
    }
    function warning(title, text, okfun) {
        return show("warning", title, text, btnOk, { ok: okfun })
    }
}
