import QtQuick 2.15
import QtQuick.Controls 2.15
import "Theme.js" as Theme

// A plain list of the catalogue's languages, standard and large models.
MyPopup {
    id: root
    objectName: "langListPopup"
    property string current: ""
    signal chosen(string key)

    width: 380
    height: 460

    readonly property var codes: ["en", "cn", "ru", "fr", "de", "es", "pt", "gr", "tr", "vn", "it", "nl",
        "ca", "ar", "fa", "ph", "uk", "kz", "sv", "ja", "eo", "hi", "cs", "pl"]

    function keys() {
        var list = []
        for (var i = 0; i < codes.length; ++i) {
            var sizes = ["s", "h"]
            for (var j = 0; j < sizes.length; ++j) {
                var key = codes[i] + "-" + sizes[j]
                var name = langdb.display(key)
                if (name !== "")
                    list.push({ key: key, name: name })
            }
        }
        return list
    }

    ListView {
        id: list
        anchors.fill: parent
        clip: true
        model: root.keys()
        ScrollBar.vertical: ScrollBar {}
        delegate: Rectangle {
            width: list.width
            height: 34
            color: modelData.key === root.current ? Theme.accentLight : (area.containsMouse ? "#F2F5FA" : "white")
            MyText {
                text: modelData.name
                anchors.verticalCenter: parent.verticalCenter
                x: 12
            }
            MouseArea {
                id: area
                anchors.fill: parent
                hoverEnabled: true
                onClicked: {
                    root.chosen(modelData.key)
                    root.close()
                }
            }
        }
    }
}
