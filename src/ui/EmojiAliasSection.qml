import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// The user's own names for emoji: the list with "Remove", and two fields to add one.
SettingsSection {
    id: section
    required property SettingsActions actions
    property string selection: ""
    title: "Emoji"

    Rectangle {
        visible: section.actions.aliases.length > 0
        Layout.fillWidth: true
        implicitHeight: Math.min(section.actions.aliases.length, 5) * 28 + 2
        radius: 6
        color: "transparent"
        border.width: 1
        border.color: section.theme.controlOutline
        clip: true
        ListView {
            objectName: "aliasList"
            anchors.fill: parent
            anchors.margins: 1
            model: section.actions.aliases
            delegate: Rectangle {
                id: row
                required property var modelData
                required property int index
                width: ListView.view.width
                height: 28
                color: section.selection === modelData.alias ? section.theme.menuHighlight
                     : (index % 2 ? section.theme.hairline : "transparent")
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    x: 10
                    text: row.modelData.alias
                    font.pixelSize: 13
                    color: section.theme.primaryInk
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    anchors.right: parent.right
                    anchors.rightMargin: 10
                    text: row.modelData.emoji
                    font.pixelSize: 16
                }
                MouseArea { anchors.fill: parent; onClicked: section.selection = row.modelData.alias }
            }
        }
    }
    RowLayout {
        Layout.fillWidth: true
        SettingsCaption {
            theme: section.theme
            text: section.actions.emojiCount + " names already work. Add an alias for anything you call something else."
        }
        PanelButton {
            theme: section.theme
            text: "Remove"
            enabled: section.selection.length > 0
            onClicked: { section.actions.removeAlias(section.selection); section.selection = "" }
        }
    }
    SettingsWarning {
        objectName: "aliasError"
        theme: section.theme
        visible: section.actions.aliasError.length > 0
        text: section.actions.aliasError
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 6
        SettingsTextField {
            theme: section.theme
            id: aliasField
            objectName: "aliasField"
            placeholderText: "alias"
            font.pixelSize: 12
            Layout.preferredWidth: 140
            onAccepted: add.clicked()
        }
        Text { text: "→"; color: section.theme.secondaryInk; font.pixelSize: 13 }
        SettingsTextField {
            theme: section.theme
            id: emojiField
            objectName: "emojiField"
            placeholderText: "emoji"
            font.pixelSize: 12
            Layout.fillWidth: true
            onAccepted: add.clicked()
        }
        PanelIconButton {
            objectName: "emojiPickerButton"
            symbol: "face-smiling"
            iconColor: section.theme.primaryInk
            iconSize: 17
            ToolTip.visible: hovered
            ToolTip.text: "Open the emoji picker"
            onClicked: picker.open()
        }
        PanelButton {
            id: add
            objectName: "addAlias"
            theme: section.theme
            text: "Add"
            onClicked: {
                if (section.actions.addAlias(aliasField.text, emojiField.text)) {
                    aliasField.text = ""
                    emojiField.text = ""
                }
            }
        }
    }
    SettingsCaption {
        theme: section.theme
        text: "Put an emoji in the second box — the ☺ button opens the picker — or type the name of one that already works, like “tada”."
    }
    EmojiPicker {
        id: picker
        theme: section.theme
        actions: section.actions
        onPicked: emoji => emojiField.text = emoji
    }
}
