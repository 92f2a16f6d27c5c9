import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// The hot key, where Corvane shows, how it starts and how it pastes.
ColumnLayout {
    id: pane
    required property Theme theme
    required property SettingsActions actions
    readonly property var prefs: actions.preferences
    readonly property var login: actions.loginItem
    spacing: 16

    SettingsSection {
        theme: pane.theme
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Text { text: "Shortcut"; font.pixelSize: 13; color: pane.theme.primaryInk; Layout.fillWidth: true }
            ShortcutRecorder { objectName: "shortcutRecorder"; theme: pane.theme; actions: pane.actions }
            PanelButton {
                objectName: "resetShortcut"
                theme: pane.theme
                text: "Reset"
                enabled: !pane.actions.isDefaultHotkey
                ToolTip.visible: hovered
                ToolTip.text: "Back to " + pane.actions.defaultHotkeyText
                onClicked: pane.actions.resetHotkey()
            }
        }
        SettingsWarning {
            objectName: "hotkeyWarning"
            theme: pane.theme
            visible: pane.actions.services.hotkeyRegistrationFailed
            text: "Another app is already using this shortcut"
        }
    }
    SettingsSection {
        theme: pane.theme
        title: "Show Corvane in"
        SettingsToggle {
            objectName: "showsTrayIcon"
            theme: pane.theme
            text: "System tray"
            checked: pane.prefs.showsMenuBarIcon
            enabled: !(pane.prefs.showsMenuBarIcon && !pane.prefs.showsDockIcon)
            onToggled: checked => pane.prefs.showsMenuBarIcon = checked
        }
        SettingsToggle {
            objectName: "showsTaskbarEntry"
            theme: pane.theme
            text: "Task bar"
            checked: pane.prefs.showsDockIcon
            enabled: !(pane.prefs.showsDockIcon && !pane.prefs.showsMenuBarIcon)
            onToggled: checked => pane.prefs.showsDockIcon = checked
        }
        SettingsPicker {
            objectName: "recentCount"
            theme: pane.theme
            text: "Recent items in the menu"
            enabled: pane.prefs.showsMenuBarIcon
            options: [{ label: "None", value: 0 }, { label: "3", value: 3 }, { label: "5", value: 5 },
                      { label: "10", value: 10 }, { label: "15", value: 15 }]
            value: pane.prefs.menuBarRecentCount
            onPicked: value => pane.prefs.menuBarRecentCount = value
        }
    }
    SettingsSection {
        theme: pane.theme
        title: "Startup"
        SettingsToggle {
            objectName: "opensAtLogin"
            theme: pane.theme
            text: "Open at login"
            enabled: pane.login !== null
            checked: pane.login ? pane.login.opensAtLogin : false
            onToggled: checked => pane.actions.applyLogin(checked, pane.login.reopensAfterCrash)
        }
        SettingsToggle {
            objectName: "reopensAfterCrash"
            theme: pane.theme
            visible: pane.login !== null && pane.login.agentAvailable
            text: "Reopen if it stops unexpectedly"
            caption: "If Corvane ever crashes it stops recording, and you would not find out until something you copied was missing."
            checked: pane.login ? pane.login.reopensAfterCrash : false
            onToggled: checked => pane.actions.applyLogin(pane.login.opensAtLogin, checked)
        }
        SettingsWarning {
            theme: pane.theme
            visible: pane.actions.services.crashRecoveryRefreshFailed
            text: "Could not be re-registered after the update"
        }
        SettingsCaption {
            theme: pane.theme
            visible: pane.login === null
            text: "This session has no autostart folder or systemd user manager Corvane can use."
        }
    }
    SettingsSection {
        theme: pane.theme
        title: "Pasting"
        SettingsToggle {
            objectName: "pastesOnSelect"
            theme: pane.theme
            text: "Paste immediately when I pick an item"
            checked: pane.prefs.pastesOnSelect
            onToggled: checked => pane.prefs.pastesOnSelect = checked
        }
        SettingsToggle {
            objectName: "pastesPlainText"
            theme: pane.theme
            text: "Paste as plain text"
            checked: pane.prefs.pastesPlainText
            onToggled: checked => pane.prefs.pastesPlainText = checked
        }
        SettingsToggle {
            objectName: "capturesImages"
            theme: pane.theme
            text: "Remember images"
            checked: pane.prefs.capturesImages
            onToggled: checked => pane.prefs.capturesImages = checked
        }
        SettingsToggle {
            objectName: "keepsClipboardAlive"
            theme: pane.theme
            text: "Keep the clipboard when the app that copied quits"
            checked: pane.prefs.keepsClipboardAlive
            onToggled: checked => pane.prefs.keepsClipboardAlive = checked
        }
    }
    AccessibilitySection { theme: pane.theme; actions: pane.actions; isRequired: false }
}
