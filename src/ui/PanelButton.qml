import QtQuick
import QtQuick.Controls.Basic

// A push button in the panel's colours; prominent for the default action.
Button {
    id: button
    required property Theme theme
    property bool prominent: false

    leftPadding: 12
    rightPadding: 12
    topPadding: 4
    bottomPadding: 4
    font.pixelSize: 12
    contentItem: Text {
        text: button.text
        font: button.font
        color: button.prominent ? "white" : button.theme.primaryInk
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        implicitHeight: 24
        radius: 6
        opacity: button.enabled ? 1 : 0.45
        color: button.prominent ? button.theme.selectionRing
             : (button.down ? button.theme.selectedTab : button.theme.controlBackground)
        border.width: button.prominent ? 0 : 1
        border.color: button.theme.controlOutline
    }
}
