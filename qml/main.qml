import QtQuick 2.9
import QtQuick.Window 2.0

Window {
    visible: true
    width: 1100
    height: 720
    title: "Kalvinor Audio To Text Converter"
}
