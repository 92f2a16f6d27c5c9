import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import QtQuick.Layouts
import Corvane.Ui

// A small emoji picker over the emoji names Corvane knows, searchable by name.
Popup {
    id: picker
    required property Theme theme
    required property SettingsActions actions
    signal picked(string emoji)

    parent: T.Overlay.overlay
    anchors.centerIn: parent
    width: 380
    height: 360
    modal: true
    padding: 12
    onAboutToShow: { search.text = ""; search.forceActiveFocus() }
    background: Rectangle {
        radius: 10
        color: picker.theme.popupBackground
        border.width: 1
        border.color: picker.theme.panelBorder
    }
    contentItem: ColumnLayout {
        spacing: 8
        SettingsTextField {
            theme: picker.theme
            id: search
            objectName: "emojiSearch"
            Layout.fillWidth: true
            placeholderText: "Search emoji by name"
            font.pixelSize: 12
        }
        GridView {
            id: grid
            objectName: "emojiGrid"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            cellWidth: 36
            cellHeight: 36
            model: picker.visible ? picker.actions.emojiMatches(search.text, 400) : []
            delegate: AbstractButton {
                id: cell
                required property var modelData
                width: 36
                height: 36
                hoverEnabled: true
                ToolTip.visible: hovered
                ToolTip.text: modelData.name.replace(/_/g, " ")
                contentItem: Text {
                    text: cell.modelData.emoji
                    font.pixelSize: 22
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                background: Rectangle {
                    radius: 6
                    color: cell.hovered ? picker.theme.menuHighlight : "transparent"
                }
                onClicked: { picker.picked(modelData.emoji); picker.close() }
            }
        }
        Text {
            visible: grid.count === 0
            text: "No emoji has that name."
            font.pixelSize: 12
            color: picker.theme.secondaryInk
        }
    }
}
