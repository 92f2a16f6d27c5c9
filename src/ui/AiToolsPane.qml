import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// How to let an AI assistant search the history: a ready-made configuration per client.
ColumnLayout {
    id: pane
    required property Theme theme
    required property SettingsActions actions
    property int client: 0
    property bool copied: false
    spacing: 16

    Timer { id: copiedReset; interval: 1500; onTriggered: pane.copied = false }

    SettingsSection {
        theme: pane.theme
        Text {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            font.pixelSize: 13
            color: pane.theme.primaryInk
            text: "Let Claude, Codex and other AI tools search your clipboard history, so you can ask about something you copied earlier instead of pasting it again."
        }
        RowLayout {
            spacing: 6
            Layout.fillWidth: true
            SettingsIcon { symbol: "lock"; color: pane.theme.primaryInk; size: 14; Layout.alignment: Qt.AlignTop }
            Text {
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                font.pixelSize: 12
                color: pane.theme.primaryInk
                text: "Runs on this computer only, over a direct connection. Nothing is served on the network and nothing leaves your machine."
            }
        }
    }
    SettingsSection {
        theme: pane.theme
        title: "Set up"
        RowLayout {
            Layout.fillWidth: true
            Text { text: "Tool"; font.pixelSize: 13; color: pane.theme.primaryInk }
            Item { Layout.fillWidth: true }
            Rectangle {
                implicitWidth: segments.implicitWidth + 4
                implicitHeight: 26
                radius: 6
                color: pane.theme.controlBackground
                border.width: 1
                border.color: pane.theme.controlOutline
                Row {
                    id: segments
                    x: 2
                    y: 2
                    Repeater {
                        model: pane.actions.clientNames
                        delegate: AbstractButton {
                            id: segment
                            required property string modelData
                            required property int index
                            objectName: "client" + index
                            implicitWidth: label.implicitWidth + 20
                            implicitHeight: 22
                            onClicked: pane.client = index
                            background: Rectangle {
                                radius: 5
                                color: pane.client === segment.index ? pane.theme.cardBackground : "transparent"
                                border.width: pane.client === segment.index ? 1 : 0
                                border.color: pane.theme.controlOutline
                            }
                            contentItem: Text {
                                id: label
                                text: segment.modelData
                                font.pixelSize: 12
                                color: pane.theme.primaryInk
                                horizontalAlignment: Text.AlignHCenter
                                verticalAlignment: Text.AlignVCenter
                            }
                        }
                    }
                }
            }
        }
        SettingsCaption { theme: pane.theme; text: pane.actions.clientInstruction(pane.client) }
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: snippetView.contentHeight + 16
            radius: 6
            color: pane.theme.imageWell
            Flickable {
                id: snippetView
                anchors.fill: parent
                anchors.margins: 8
                contentWidth: snippetText.implicitWidth
                contentHeight: snippetText.implicitHeight
                flickableDirection: Flickable.HorizontalFlick
                clip: true
                TextEdit {
                    id: snippetText
                    objectName: "snippet"
                    readOnly: true
                    selectByMouse: true
                    text: pane.actions.snippet(pane.client)
                    font.family: "monospace"
                    font.pixelSize: 11
                    color: pane.theme.primaryInk
                    selectionColor: pane.theme.menuHighlight
                    selectedTextColor: pane.theme.primaryInk
                }
            }
        }
        PanelButton {
            objectName: "copySnippet"
            theme: pane.theme
            text: pane.copied ? "Copied" : "Copy"
            onClicked: {
                pane.actions.copySnippet(pane.client)
                pane.copied = true
                copiedReset.restart()
            }
        }
        SettingsWarning {
            objectName: "locationWarning"
            theme: pane.theme
            visible: !pane.actions.isInStandardLocation
            text: "This copy of Corvane is not installed where programs stay (/usr, /usr/local, /opt or ~/.local/bin). Install it first, or the snippet will point at a path that may not last."
        }
    }
    SettingsSection {
        theme: pane.theme
        title: "What it can do"
        Repeater {
            model: [["magnifyingglass", "Search your history and read a copied item"],
                    ["square-pencil", "Save a note for you to paste later"],
                    ["pin", "Create pinboards and add items to them"]]
            delegate: RowLayout {
                id: capability
                required property var modelData
                spacing: 8
                SettingsIcon { symbol: capability.modelData[0]; color: pane.theme.selectionRing; size: 14 }
                Text { text: capability.modelData[1]; font.pixelSize: 13; color: pane.theme.primaryInk }
            }
        }
        SettingsCaption {
            theme: pane.theme
            text: "It cannot delete anything, and it never changes what is currently on your clipboard — so nothing can move out from under Ctrl+V."
        }
    }
}
