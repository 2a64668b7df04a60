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
    // Set only by the box itself: its own fixed words before the message.
    property string lead: ""
    // Titles and messages carry names, paths and file contents: plain text,
    // never markup; only the box's own words are.
    readonly property string shownText: (title !== "" ? "<b>" + plain(title) + "</b><br/><br/>" : "") + lead + plain(message)
    property var handlers: ({})

    parent: Overlay.overlay
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 2) : 0
    width: 420
    modal: true
    focus: true
    // Escape answers as the way out of the box does, so its handler runs.
    closePolicy: Popup.NoAutoClose
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
        focus: true
        Keys.onEscapePressed: root.dismiss()

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

    function plain(s) {
        return String(s).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
            .replace(/"/g, "&quot;").replace(/\r?\n/g, "<br/>")
    }

    function dismiss() {
        if (buttons & btnCancel)
            answer("cancel")
        else if (buttons & btnNo)
            answer("no")
        else
            answer("ok")
    }

    function show(kind, title, text, buttons, handlers, lead) {
        root.kind = kind
        root.lead = lead || ""
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
        return show("critical", t, text, btnOk, { ok: okfun }, "An Error Occurred. <br/><br/>")
    }
    function warning(title, text, okfun) {
        return show("warning", title, text, btnOk, { ok: okfun })
    }
}
