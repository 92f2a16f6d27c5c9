import QtQuick
import QtQuick.Layouts
import Corvane.Ui

// Whether Corvane may watch and type keys: on X11 when the server offers XInput 2 and
// XTest; a Wayland session gives no application that access.
SettingsSection {
    id: section
    required property SettingsActions actions
    property bool isRequired: false
    readonly property bool granted: actions.accessibility.isTrusted
    title: "Accessibility"

    onVisibleChanged: visible ? actions.accessibility.startWatching() : actions.accessibility.stopWatching()
    Component.onCompleted: if (visible) actions.accessibility.startWatching()
    Component.onDestruction: if (visible) actions.accessibility.stopWatching()

    RowLayout {
        Layout.fillWidth: true
        Text { text: "Status"; font.pixelSize: 13; color: section.theme.primaryInk; Layout.fillWidth: true }
        SettingsIcon {
            size: 14
            symbol: section.granted ? "checkmark-circle-fill" : (section.isRequired ? "warning-fill" : "xmark-circle")
            color: section.granted ? (section.theme.dark ? "#4cd964" : "#1f9d3a")
                 : (section.isRequired ? section.theme.warning : section.theme.secondaryInk)
        }
        Text {
            objectName: "accessibilityStatus"
            text: section.granted ? "Granted" : "Not granted"
            font.pixelSize: 13
            color: section.theme.primaryInk
        }
    }
    SettingsCaption {
        theme: section.theme
        text: section.isRequired ? "Expansion cannot work without this — there is nothing to fall back to."
                                 : "Needed to paste for you, and required if you turn expansion on."
    }
    SettingsCaption {
        objectName: "sessionNote"
        theme: section.theme
        visible: section.actions.sessionNote !== ""
        text: section.actions.sessionNote
    }
    SettingsCaption {
        theme: section.theme
        visible: !section.granted
        text: section.actions.isWaylandSession
              ? "A Wayland session lets no application watch or type keys in other windows, so Corvane cannot paste for you or expand text there. Log in to an X11 session, or see the README for what works on Wayland."
              : "This X server does not offer XInput 2 and XTest to Corvane, which it needs to watch and type keys."
    }
    RowLayout {
        visible: !section.granted
        spacing: 8
        PanelButton {
            theme: section.theme
            visible: section.actions.isWaylandSession
            text: "Read Why in the README…"
            onClicked: section.actions.openUrl("https://ferrowen.com/corvane#keyboard-access-on-x11-and-wayland")
        }
        PanelButton {
            theme: section.theme
            text: "Check Again"
            onClicked: section.actions.accessibility.requestAccess()
        }
    }
}
