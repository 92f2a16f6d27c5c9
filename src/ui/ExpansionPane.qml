import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// Snippet and emoji expansion: the switches, the prefix, aliases and where it never runs.
ColumnLayout {
    id: pane
    required property Theme theme
    required property SettingsActions actions
    readonly property var prefs: actions.preferences
    spacing: 16

    SettingsSection {
        theme: pane.theme
        SettingsToggle {
            objectName: "expandsSnippets"
            theme: pane.theme
            text: "Expand snippets as you type"
            caption: "Give a snippet a trigger on any pinboard, then type the prefix followed by the trigger and it becomes the snippet."
            checked: pane.prefs.expandsSnippets
            onToggled: checked => pane.actions.setExpandsSnippets(checked)
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Text { text: "Prefix"; font.pixelSize: 13; color: pane.theme.primaryInk; Layout.fillWidth: true }
            SettingsTextField {
                theme: pane.theme
                id: prefixField
                objectName: "prefixField"
                Layout.preferredWidth: 80
                font.pixelSize: 12
                text: pane.prefs.expansionPrefix
                onEditingFinished: pane.actions.setExpansionPrefix(text)
                // The stored prefix is normalised; show what was stored.
                Connections {
                    target: pane.prefs
                    function onExpansionPrefixChanged() { prefixField.text = pane.prefs.expansionPrefix }
                }
            }
            PanelButton {
                objectName: "resetPrefix"
                theme: pane.theme
                text: "Reset"
                onClicked: pane.actions.setExpansionPrefix("::")
            }
        }
        SettingsCaption {
            theme: pane.theme
            text: "Two characters by default because a single colon collides with ordinary typing — “10:30” and “note:sig” would both expand."
        }
        SettingsToggle {
            objectName: "expandsEmoji"
            theme: pane.theme
            text: "Expand emoji names too"
            caption: pane.actions.emojiCount + " emoji, by their Unicode names — “" + pane.prefs.expansionPrefix
                     + "cyclone” gives 🌀. Those names come from the system, so the shorthands you may know from elsewhere (“smile”, “+1”) are not among them. Add the ones you type as aliases."
            checked: pane.prefs.expandsEmoji
            onToggled: checked => pane.actions.setExpandsEmoji(checked)
        }
    }
    EmojiAliasSection { theme: pane.theme; actions: pane.actions }
    IgnoredAppsSection {
        objectName: "expansionIgnoredApps"
        theme: pane.theme
        actions: pane.actions
        title: "Never expand in"
        emptyMessage: "Expansion runs everywhere. Add an app to keep it out."
        bundleIDs: pane.prefs.expansionIgnoredBundleIDs
        onEdited: ids => pane.prefs.expansionIgnoredBundleIDs = ids
    }
    AccessibilitySection {
        theme: pane.theme
        actions: pane.actions
        isRequired: pane.prefs.expandsSnippets || pane.prefs.expandsEmoji
    }
}
