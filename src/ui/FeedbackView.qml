import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QtQuick.Window
import Corvane.Ui

// The feedback form: a category, a message and an optional address, sent to the support
// server; then a thank-you.
Page {
    id: root
    required property var feedback
    property int category: 0
    signal closeRequested()

    implicitWidth: 440
    implicitHeight: 420

    Theme { id: formTheme; dark: Appearance.dark }

    palette.window: formTheme.panelBackground
    palette.windowText: formTheme.primaryInk
    palette.base: formTheme.cardBackground
    palette.text: formTheme.primaryInk
    palette.button: formTheme.cardBackground
    palette.buttonText: formTheme.primaryInk
    palette.highlight: formTheme.selectionRing

    background: Rectangle { color: formTheme.panelBackground }

    // Each showing of the window starts an empty form.
    Connections {
        target: root.Window.window
        function onVisibleChanged() {
            if (root.Window.window.visible) {
                message.text = ""
                email.text = ""
                root.category = 0
                message.forceActiveFocus()
            }
        }
    }

    ColumnLayout {
        visible: !root.feedback.sent
        anchors.fill: parent
        anchors.margins: 20
        spacing: 10

        Text { text: "Send Feedback"; font.pixelSize: 17; font.weight: Font.Bold; color: formTheme.primaryInk }
        Text {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: "What's working, what's broken, what you'd like. It goes straight to me."
            font.pixelSize: 12
            color: formTheme.secondaryInk
        }
        Row {
            spacing: 4
            Repeater {
                model: ["Feedback", "Bug", "Idea"]
                delegate: PanelButton {
                    required property string modelData
                    required property int index
                    objectName: "category" + index
                    theme: formTheme
                    text: modelData
                    prominent: root.category === index
                    onClicked: root.category = index
                }
            }
        }
        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            radius: 6
            color: formTheme.cardBackground
            border.width: message.activeFocus ? 2 : 1
            border.color: message.activeFocus ? formTheme.selectionRing : formTheme.controlOutline
            ScrollView {
                anchors.fill: parent
                anchors.margins: 2
                TextArea {
                    id: message
                    objectName: "message"
                    wrapMode: TextEdit.Wrap
                    placeholderText: "What's on your mind?"
                    placeholderTextColor: formTheme.placeholderInk
                    color: formTheme.primaryInk
                    font.pixelSize: 13
                    background: null
                }
            }
        }
        SettingsTextField {
            id: email
            objectName: "email"
            theme: formTheme
            Layout.fillWidth: true
            placeholderText: "Email (optional — if you'd like a reply)"
        }
        SettingsCaption {
            theme: formTheme
            text: "Sent with the app's version (" + root.feedback.applicationVersion + ") and your system's version, nothing else."
        }
        SettingsCaption {
            theme: formTheme
            visible: !root.feedback.isConfigured
            text: "Feedback isn't available in this build — please use the website."
        }
        SettingsWarning {
            objectName: "feedbackError"
            theme: formTheme
            visible: root.feedback.errorText.length > 0
            symbol: "warning-fill"
            tint: formTheme.destructive
            text: root.feedback.errorText
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 8
            PanelButton { theme: formTheme; text: "Cancel"; onClicked: root.closeRequested() }
            PanelButton {
                objectName: "send"
                theme: formTheme
                prominent: true
                text: root.feedback.sending ? "Sending…" : "Send"
                enabled: !root.feedback.sending
                onClicked: root.feedback.submit(root.category, message.text, email.text)
            }
        }
    }

    ColumnLayout {
        visible: root.feedback.sent
        anchors.centerIn: parent
        spacing: 10
        SettingsIcon {
            Layout.alignment: Qt.AlignHCenter
            symbol: "checkmark-circle-fill"
            color: formTheme.dark ? "#4cd964" : "#1f9d3a"
            size: 40
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            text: "Thanks — sent."
            font.pixelSize: 15
            font.weight: Font.DemiBold
            color: formTheme.primaryInk
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            visible: root.feedback.replyAddress.length > 0
            text: "I'll reply to " + root.feedback.replyAddress + "."
            font.pixelSize: 12
            color: formTheme.secondaryInk
        }
        PanelButton {
            Layout.alignment: Qt.AlignHCenter
            theme: formTheme
            text: "Done"
            onClicked: root.closeRequested()
        }
    }
}
