import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// A setting that is on or off, with an optional caption under it.
ColumnLayout {
    id: toggle
    required property Theme theme
    property string text
    property string caption
    property bool checked
    property alias control: box
    signal toggled(bool checked)

    Layout.fillWidth: true
    spacing: 2
    opacity: enabled ? 1 : 0.5

    RowLayout {
        Layout.fillWidth: true
        Text {
            text: toggle.text
            font.pixelSize: 13
            color: toggle.theme.primaryInk
            Layout.fillWidth: true
            // One line: a wrapping label makes the row as tall as its narrowest layout.
            elide: Text.ElideRight
        }
        AbstractButton {
            id: box
            objectName: toggle.objectName + "Switch"
            checkable: true
            checked: toggle.checked
            implicitWidth: 34
            implicitHeight: 20
            Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
            Accessible.role: Accessible.CheckBox
            Accessible.name: toggle.text
            onToggled: {
                toggle.toggled(checked)
                // The switch shows the setting, also when the setting refused the change.
                checked = Qt.binding(() => toggle.checked)
            }
            contentItem: Item { }
            background: Rectangle {
                radius: 10
                color: box.checked ? toggle.theme.selectionRing : toggle.theme.controlBackground
                border.width: box.checked ? 0 : 1
                border.color: toggle.theme.controlOutline
                Rectangle {
                    x: box.checked ? parent.width - width - 2 : 2
                    y: 2
                    width: 16
                    height: 16
                    radius: 8
                    color: "white"
                    border.width: 1
                    border.color: Qt.rgba(0, 0, 0, 0.15)
                }
            }
        }
    }
    SettingsCaption {
        theme: toggle.theme
        visible: toggle.caption.length > 0
        text: toggle.caption
        Layout.rightMargin: 48
    }
}
