import QtQuick 2.15
import QtQuick.Window 2.15
import QtGraphicalEffects 1.0
import "Theme.js" as Theme

// The frame of a frameless window: a shadow around the body, a border that
// resizes, and moving by the header (see startMove). The desktop's own move
// and resize are asked for first; where the window manager cannot do them
// the frame follows the mouse itself.
Item {
    id: root

    property var window: null
    property int borderSize: 5
    readonly property bool maximized: window !== null
        && (window.visibility === Window.Maximized || window.visibility === Window.FullScreen)
    readonly property int shadowSize: maximized ? 0 : 10
    default property alias content: body.data

    property var drag: null

    RectangularGlow {
        anchors.fill: body
        visible: !root.maximized
        glowRadius: root.shadowSize
        spread: 0.1
        cornerRadius: glowRadius
        color: "#38000000"
    }

    Rectangle {
        id: body
        anchors.fill: parent
        anchors.margins: root.shadowSize
        color: Theme.page
        border.color: Theme.border
        border.width: root.maximized ? 0 : 1
        clip: true
    }

    function globalPos(item, mouse) {
        return item.mapToGlobal(mouse.x, mouse.y)
    }

    function startMove(item, mouse) {
        drag = null
        if (!window || maximized)
            return
        if (window.startSystemMove())
            return
        var p = globalPos(item, mouse)
        drag = { edges: 0, gx: p.x, gy: p.y, x: window.x, y: window.y, w: window.width, h: window.height }
    }

    function startResize(item, mouse, edges) {
        drag = null
        if (!window || maximized)
            return
        if (window.startSystemResize(edges))
            return
        var p = globalPos(item, mouse)
        drag = { edges: edges, gx: p.x, gy: p.y, x: window.x, y: window.y, w: window.width, h: window.height }
    }

    // New geometry for a drag that moved the mouse by (dx, dy): the moved
    // edges follow it, never below the minimum size; a left or top edge
    // moves the window so the opposite edge stays put.
    function dragGeometry(d, dx, dy, minW, minH) {
        var g = { x: d.x, y: d.y, w: d.w, h: d.h }
        if (d.edges === 0) {
            g.x = d.x + dx
            g.y = d.y + dy
            return g
        }
        if (d.edges & Qt.LeftEdge) {
            g.w = Math.max(minW, d.w - dx)
            g.x = d.x + d.w - g.w
        } else if (d.edges & Qt.RightEdge) {
            g.w = Math.max(minW, d.w + dx)
        }
        if (d.edges & Qt.TopEdge) {
            g.h = Math.max(minH, d.h - dy)
            g.y = d.y + d.h - g.h
        } else if (d.edges & Qt.BottomEdge) {
            g.h = Math.max(minH, d.h + dy)
        }
        return g
    }

    function dragTo(item, mouse) {
        if (!drag)
            return
        var p = globalPos(item, mouse)
        var g = dragGeometry(drag, p.x - drag.gx, p.y - drag.gy, window.minimumWidth, window.minimumHeight)
        window.x = g.x
        window.y = g.y
        window.width = g.w
        window.height = g.h
    }

    function endDrag() {
        drag = null
    }

    function toggleMaximized() {
        if (!window)
            return
        if (maximized)
            window.showNormal()
        else
            window.showMaximized()
    }

    component Edge: MouseArea {
        property int edges: 0
        visible: !root.maximized
        hoverEnabled: true
        z: 100
        onPressed: root.startResize(this, mouse, edges)
        onPositionChanged: if (pressed) root.dragTo(this, mouse)
        onReleased: root.endDrag()
    }

    Edge { edges: Qt.LeftEdge; cursorShape: Qt.SizeHorCursor
        x: root.shadowSize - root.borderSize; y: root.shadowSize + root.borderSize
        width: root.borderSize * 2; height: body.height - root.borderSize * 2 }
    Edge { edges: Qt.RightEdge; cursorShape: Qt.SizeHorCursor
        x: root.width - root.shadowSize - root.borderSize; y: root.shadowSize + root.borderSize
        width: root.borderSize * 2; height: body.height - root.borderSize * 2 }
    Edge { edges: Qt.TopEdge; cursorShape: Qt.SizeVerCursor
        x: root.shadowSize + root.borderSize; y: root.shadowSize - root.borderSize
        width: body.width - root.borderSize * 2; height: root.borderSize * 2 }
    Edge { edges: Qt.BottomEdge; cursorShape: Qt.SizeVerCursor
        x: root.shadowSize + root.borderSize; y: root.height - root.shadowSize - root.borderSize
        width: body.width - root.borderSize * 2; height: root.borderSize * 2 }
    Edge { edges: Qt.LeftEdge | Qt.TopEdge; cursorShape: Qt.SizeFDiagCursor
        x: root.shadowSize - root.borderSize; y: root.shadowSize - root.borderSize
        width: root.borderSize * 2; height: root.borderSize * 2 }
    Edge { edges: Qt.RightEdge | Qt.TopEdge; cursorShape: Qt.SizeBDiagCursor
        x: root.width - root.shadowSize - root.borderSize; y: root.shadowSize - root.borderSize
        width: root.borderSize * 2; height: root.borderSize * 2 }
    Edge { edges: Qt.LeftEdge | Qt.BottomEdge; cursorShape: Qt.SizeBDiagCursor
        x: root.shadowSize - root.borderSize; y: root.height - root.shadowSize - root.borderSize
        width: root.borderSize * 2; height: root.borderSize * 2 }
    Edge { edges: Qt.RightEdge | Qt.BottomEdge; cursorShape: Qt.SizeFDiagCursor
        x: root.width - root.shadowSize - root.borderSize; y: root.height - root.shadowSize - root.borderSize
        width: root.borderSize * 2; height: root.borderSize * 2 }
}
