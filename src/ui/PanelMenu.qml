import QtQuick
import QtQuick.Controls.Basic

// A menu in the panel's colours.
Menu {
    id: menu
    required property Theme theme

    padding: 4
    background: Rectangle {
        implicitWidth: 190
        radius: 8
        color: menu.theme.popupBackground
        border.width: 1
        border.color: menu.theme.controlOutline
    }
    delegate: PanelMenuItem { theme: menu.theme }
}
