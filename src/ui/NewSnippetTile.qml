import QtQuick

// The tile after a pinboard's cards that opens the snippet editor for a new snippet.
Item {
    id: tile
    required property Theme theme
    signal clicked()

    objectName: "newSnippetTile"
    width: 232
    height: 208
    Accessible.role: Accessible.Button
    Accessible.name: "New Snippet"

    Canvas {
        id: outline
        anchors.fill: parent
        readonly property color stroke: tile.theme.placeholderInk
        readonly property bool hovered: mouse.containsMouse
        onStrokeChanged: requestPaint()
        onHoveredChanged: requestPaint()
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            ctx.beginPath()
            ctx.roundedRect(1, 1, width - 2, height - 2, 12, 12)
            if (hovered) {
                ctx.fillStyle = tile.theme.controlBackground
                ctx.fill()
            }
            ctx.setLineDash([4, 3])
            ctx.lineWidth = 1.5
            ctx.strokeStyle = stroke
            ctx.stroke()
        }
    }
    Column {
        anchors.centerIn: parent
        spacing: 6
        PanelIcon {
            anchors.horizontalCenter: parent.horizontalCenter
            symbol: "plus"
            size: 22
            color: tile.theme.secondaryInk
        }
        Text {
            text: "New Snippet"
            font.pixelSize: 12
            font.weight: Font.Medium
            color: tile.theme.secondaryInk
        }
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        onClicked: tile.clicked()
    }
}
