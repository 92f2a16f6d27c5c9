pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic

// The form for a new snippet (create mode, on a pinboard or the clipboard) or for editing an
// item's text and trigger (edit mode). Saving goes through the model, which reports errors.
FocusScope {
    id: editor

    required property var model
    required property Theme theme
    // { create: true, pinboardID: id or null } or { create: false, itemID, text, trigger }.
    required property var mode
    signal finished()

    readonly property bool creating: mode.create === true
    readonly property bool allowsTrigger: creating ? (mode.pinboardID !== null && mode.pinboardID !== undefined)
                                                   : model.pinboardIDsOfItem(mode.itemID).length > 0
    readonly property string defaultLabel: creating ? "Add" : "Save"
    readonly property bool canSave: textArea.text.trim() !== ""
    readonly property var snippetError: model.snippetError
    property alias text: textArea.text
    property alias trigger: triggerField.text

    implicitWidth: column.implicitWidth + 28
    implicitHeight: column.implicitHeight + 28

    function save() {
        if (!canSave)
            return
        const saved = creating ? model.createSnippetOn(textArea.text, triggerField.text, mode.pinboardID ?? null)
                               : model.updateSnippetOf(mode.itemID, textArea.text, triggerField.text)
        if (saved)
            finished()
    }
    function focusText() {
        textArea.forceActiveFocus()
    }
    function cancel() {
        model.clearSnippetError()
        finished()
    }
    function handleKey(event) {
        if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter) && (event.modifiers & Qt.ControlModifier)) {
            save()
            event.accepted = true
        } else if (event.key === Qt.Key_Tab && textArea.activeFocus) {
            triggerField.forceActiveFocus()
            event.accepted = true
        } else if (event.key === Qt.Key_Escape) {
            cancel()
            event.accepted = true
        }
    }

    Component.onCompleted: {
        if (!creating) {
            textArea.text = mode.text ?? ""
            triggerField.text = mode.trigger ?? ""
        }
        model.clearSnippetError()
        textArea.forceActiveFocus()
    }

    Keys.onPressed: event => handleKey(event)

    Column {
        id: column
        x: 14
        y: 14
        spacing: 10

        Text {
            text: editor.creating ? "New Snippet" : "Edit Snippet"
            font.pixelSize: 14
            font.weight: Font.DemiBold
            color: editor.theme.primaryInk
        }

        Rectangle {
            width: 340
            height: 140
            radius: 8
            color: editor.theme.cardBackground
            border.width: 1
            border.color: editor.theme.controlOutline
            ScrollView {
                anchors.fill: parent
                anchors.margins: 1
                TextArea {
                    id: textArea
                    objectName: "snippetText"
                    padding: 6
                    font.family: "monospace"
                    font.pixelSize: 12
                    color: editor.theme.primaryInk
                    selectionColor: editor.theme.selectionRing
                    wrapMode: TextEdit.Wrap
                    background: null
                    Keys.priority: Keys.BeforeItem
                    Keys.onPressed: event => editor.handleKey(event)
                }
            }
        }

        Row {
            width: 340
            spacing: 6
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: editor.model.expansionPrefix
                font.family: "monospace"
                font.pixelSize: 12
                color: editor.theme.placeholderInk
            }
            TextField {
                id: triggerField
                objectName: "snippetTrigger"
                anchors.verticalCenter: parent.verticalCenter
                width: 120
                enabled: editor.allowsTrigger
                placeholderText: "trigger"
                placeholderTextColor: editor.theme.placeholderInk
                font.family: "monospace"
                font.pixelSize: 12
                color: editor.theme.primaryInk
                opacity: enabled ? 1 : 0.5
                leftPadding: 6
                rightPadding: 6
                topPadding: 4
                bottomPadding: 4
                background: Rectangle {
                    radius: 5
                    color: editor.theme.cardBackground
                    border.width: 1
                    border.color: triggerField.activeFocus ? editor.theme.selectionRing : editor.theme.controlOutline
                }
                Keys.priority: Keys.BeforeItem
                Keys.onPressed: event => editor.handleKey(event)
            }
            Text {
                objectName: "triggerHint"
                anchors.verticalCenter: parent.verticalCenter
                width: 340 - 126 - x + 120
                text: !editor.allowsTrigger ? "Pinboard items only \u2014 the clipboard is cleared out over time."
                    : editor.model.expandsSnippets ? "Optional. Type this to insert the snippet."
                    : "Optional \u2014 turn on expansion in Settings to use it."
                font.pixelSize: 10
                color: editor.theme.placeholderInk
                wrapMode: Text.Wrap
            }
        }

        Row {
            visible: editor.snippetError !== undefined && editor.snippetError !== null
            spacing: 5
            PanelIcon {
                symbol: "warning"
                size: 13
                color: editor.theme.warning
            }
            Text {
                objectName: "snippetError"
                width: 340 - 18
                text: editor.snippetError ?? ""
                font.pixelSize: 11
                color: editor.theme.warning
                wrapMode: Text.Wrap
            }
        }

        Item {
            width: 340
            height: addButton.implicitHeight
            Text {
                objectName: "saveHint"
                anchors.verticalCenter: parent.verticalCenter
                text: "Ctrl+Return to " + editor.defaultLabel.toLowerCase()
                font.pixelSize: 10
                color: editor.theme.placeholderInk
            }
            Row {
                anchors.right: parent.right
                spacing: 8
                PanelButton {
                    text: "Cancel"
                    theme: editor.theme
                    onClicked: editor.cancel()
                }
                PanelButton {
                    id: addButton
                    objectName: "saveButton"
                    text: editor.defaultLabel
                    prominent: true
                    theme: editor.theme
                    enabled: editor.canSave
                    onClicked: editor.save()
                }
            }
        }
    }
}
