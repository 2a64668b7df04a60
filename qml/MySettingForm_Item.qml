import QtQuick 2.15

Item {
    id: root
    property string label: ""
    property int labelWidth: 110
    default property alias field: holder.data
    width: parent ? parent.width : 400
    height: visible ? Math.max(34, holder.childrenRect.height) : 0

    MyText {
        width: root.labelWidth
        height: 34
        verticalAlignment: Text.AlignVCenter
        text: root.label
        color: TEXTCOLOR_MAIN2
    }
    Item {
        id: holder
        x: root.labelWidth
        width: root.width - root.labelWidth
        height: childrenRect.height
    }
}
