import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// A setting chosen from a few values: options are {label, value}.
RowLayout {
    id: picker
    required property Theme theme
    property string text
    property var options: []
    property int value
    property alias control: box
    signal picked(int value)

    Layout.fillWidth: true
    opacity: enabled ? 1 : 0.5

    Text {
        text: picker.text
        font.pixelSize: 13
        color: picker.theme.primaryInk
        Layout.fillWidth: true
    }
    ComboBox {
        id: box
        objectName: picker.objectName + "Box"
        model: picker.options
        textRole: "label"
        implicitWidth: 150
        font.pixelSize: 12
        currentIndex: picker.options.findIndex(option => option.value === picker.value)
        onActivated: index => picker.picked(picker.options[index].value)
        contentItem: Text {
            leftPadding: 10
            text: box.displayText
            font: box.font
            color: picker.theme.primaryInk
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
        indicator: SettingsIcon {
            x: box.width - width - 8
            y: (box.height - height) / 2
            symbol: "chevron"
            size: 10
            rotation: 90
            color: picker.theme.secondaryInk
        }
        background: Rectangle {
            implicitHeight: 26
            radius: 6
            color: box.pressed ? picker.theme.selectedTab : picker.theme.controlBackground
            border.width: 1
            border.color: picker.theme.controlOutline
        }
    }
}
