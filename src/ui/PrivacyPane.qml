import QtQuick
import QtQuick.Layouts
import Corvane.Ui

// What is never recorded.
ColumnLayout {
    id: pane
    required property Theme theme
    required property SettingsActions actions
    spacing: 16

    IgnoredAppsSection {
        objectName: "ignoredApps"
        theme: pane.theme
        actions: pane.actions
        title: "Never remember copies from"
        emptyMessage: "None of the apps on the ignore list are installed."
        explainsUninstalled: true
        bundleIDs: pane.actions.preferences.ignoredBundleIDs
        onEdited: ids => pane.actions.preferences.ignoredBundleIDs = ids
    }
    SettingsSection {
        theme: pane.theme
        SettingsToggle {
            objectName: "ignoresSecrets"
            theme: pane.theme
            text: "Skip things that look like passwords or tokens"
            caption: "A long run of characters with no spaces, mixing letters, digits and symbols, is never stored — whichever app it came from."
            checked: pane.actions.preferences.ignoresSecretLookingText
            onToggled: checked => pane.actions.preferences.ignoresSecretLookingText = checked
        }
    }
}
