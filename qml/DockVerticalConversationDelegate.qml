import QtQuick 2.15
import "Theme.js" as Theme

// A read-only conversation row of the floating vertical dock.
Item {
    id: root
    objectName: "dockMsg_" + idx
    property var cp: null
    readonly property var view: ListView.view
    readonly property bool live: partial
    readonly property bool shown: !live || (cp !== null && cp.isRunning !== 0 && message !== "")

    width: view ? view.width : 300
    height: shown ? line.height + 10 : 0
    visible: shown

    Item {
        id: line
        y: 5
        width: parent.width
        height: Math.max(bubble.height, dot.height)

        Rectangle {
            id: dot
            width: 20
            height: 20
            radius: 10
            visible: !root.live
            color: speakerColor === "" ? "red" : speakerColor
            x: send ? parent.width - width - 6 : 6
        }

        Rectangle {
            id: bubble
            width: msgEdit.width + 16
            height: msgEdit.height + 12
            radius: 8
            x: send ? dot.x - width - 6 : dot.x + dot.width + 6
            color: send ? "#E3F0FF" : "#F1F3F6"

            MyTextEdit {
                id: msgEdit
                objectName: "dockMessage"
                x: 8
                y: 6
                readOnly: true
                maxWidth: root.width * 0.6
                minWidth: /<img/i.test(message) ? 220 : 100
                text: "<style>a {text-decoration:none;}</style>" + message
                baseUrl: root.cp ? root.cp.projectUrl + "/" : ""
            }
        }
    }
}
