import QtQuick
import QtQuick.Controls.Basic

// A menu entry: a check mark when checked, a section header, or a destructive action.
MenuItem {
    id: item
    required property Theme theme
    property bool header: false
    property bool destructive: false

    implicitHeight: visible ? (header ? 22 : 26) : 0
    leftPadding: 26
    rightPadding: 12
    font.pixelSize: header ? 11 : 13
    font.weight: header ? Font.DemiBold : Font.Normal

    indicator: PanelIcon {
        visible: item.checked
        x: 7
        anchors.verticalCenter: parent.verticalCenter
        symbol: "checkmark"
        size: 13
        color: item.theme.primaryInk
    }
    arrow: PanelIcon {
        visible: item.subMenu !== null
        x: item.width - width - 8
        anchors.verticalCenter: parent.verticalCenter
        symbol: "chevron"
        size: 10
        color: item.theme.secondaryInk
    }
    contentItem: Text {
        text: item.text
        font: item.font
        verticalAlignment: Text.AlignVCenter
        color: item.header ? item.theme.secondaryInk
             : !item.enabled ? item.theme.placeholderInk
             : item.destructive ? item.theme.destructive
             : item.theme.primaryInk
    }
    background: Rectangle {
        radius: 5
        color: item.highlighted && item.enabled && !item.header ? item.theme.menuHighlight : "transparent"
    }
}
