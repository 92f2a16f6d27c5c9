import QtQuick
import QtQuick.Controls.Basic

// A one-line text field in the settings' colours.
TextField {
    id: field
    required property Theme theme
    font.pixelSize: 12
    leftPadding: 8
    rightPadding: 8
    topPadding: 4
    bottomPadding: 4
    color: theme.primaryInk
    placeholderTextColor: theme.placeholderInk
    selectionColor: theme.menuHighlight
    selectedTextColor: theme.primaryInk
    background: Rectangle {
        implicitWidth: 120
        implicitHeight: 26
        radius: 6
        color: field.theme.cardBackground
        border.width: field.activeFocus ? 2 : 1
        border.color: field.activeFocus ? field.theme.selectionRing : field.theme.controlOutline
    }
}
