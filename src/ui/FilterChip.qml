import QtQuick
import QtQuick.Controls.Basic

// An active filter in the search capsule, with its remove button.
Rectangle {
    id: chip
    required property string label
    property color chipColor: "gray"
    property color inkColor: "white"
    signal remove()

    implicitWidth: row.implicitWidth + 12
    implicitHeight: 18
    radius: 9
    color: chipColor

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 3
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: chip.label
            font.pixelSize: 11
            font.weight: Font.Medium
            color: chip.inkColor
        }
        PanelIcon {
            anchors.verticalCenter: parent.verticalCenter
            symbol: "xmark"
            size: 10
            color: chip.inkColor
            MouseArea {
                id: removeArea
                anchors.fill: parent
                anchors.margins: -3
                hoverEnabled: true
                onClicked: chip.remove()
                ToolTip.visible: containsMouse
                ToolTip.delay: 700
                ToolTip.text: "Remove this filter"
                Accessible.role: Accessible.Button
                Accessible.name: "Remove this filter"
            }
        }
    }
}
