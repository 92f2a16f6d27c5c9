import QtQuick
import Corvane.Ui

// Shows the hot key; a click starts recording the next key pressed with a modifier, Escape
// cancels, and a key without a modifier beeps and keeps recording.
Rectangle {
    id: recorder
    required property Theme theme
    required property SettingsActions actions
    property bool isRecording: false

    implicitWidth: 150
    implicitHeight: 26
    radius: 6
    color: isRecording ? Qt.rgba(theme.selectionRing.r, theme.selectionRing.g, theme.selectionRing.b, 0.15)
                       : theme.controlBackground
    border.width: isRecording ? 2 : 1
    border.color: isRecording ? theme.selectionRing : theme.controlOutline
    activeFocusOnTab: true

    Text {
        anchors.centerIn: parent
        text: recorder.isRecording ? "Press keys…" : recorder.actions.hotkeyText
        font.pixelSize: 12
        font.weight: recorder.isRecording ? Font.Normal : Font.DemiBold
        color: recorder.isRecording ? recorder.theme.secondaryInk : recorder.theme.primaryInk
    }
    MouseArea {
        anchors.fill: parent
        onClicked: {
            recorder.isRecording = !recorder.isRecording
            if (recorder.isRecording)
                recorder.forceActiveFocus()
        }
    }
    onActiveFocusChanged: if (!activeFocus) isRecording = false
    Keys.onPressed: event => {
        if (!isRecording)
            return
        event.accepted = true
        if (event.key === Qt.Key_Escape) {
            isRecording = false
            return
        }
        // Modifiers pressed on their own pass: the key that follows them counts.
        const modifierKeys = [Qt.Key_Shift, Qt.Key_Control, Qt.Key_Alt, Qt.Key_Meta,
                              Qt.Key_Super_L, Qt.Key_Super_R, Qt.Key_AltGr, Qt.Key_CapsLock]
        if (modifierKeys.indexOf(event.key) >= 0)
            return
        if (actions.recordShortcut(event.key, event.modifiers))
            isRecording = false
    }
}
