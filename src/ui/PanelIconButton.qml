import QtQuick
import QtQuick.Controls.Basic

// A borderless button showing one symbol.
AbstractButton {
    id: button
    required property string symbol
    property color iconColor: "black"
    property int iconSize: 15

    implicitWidth: iconSize + 8
    implicitHeight: iconSize + 8
    Accessible.role: Accessible.Button
    contentItem: Item {
        PanelIcon {
            anchors.centerIn: parent
            symbol: button.symbol
            size: button.iconSize
            color: button.iconColor
            opacity: button.hovered || button.down ? 1 : 0.85
        }
    }
    background: Rectangle {
        radius: 5
        color: button.iconColor
        opacity: button.down ? 0.18 : button.hovered ? 0.1 : 0
    }
}
