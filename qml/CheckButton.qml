import QtQuick 2.15
import "Theme.js" as Theme

// A button that stays down while checked.
SimpleButton {
    id: root
    checkable: true
    primary: checked
}
