import QtQuick
import QtQuick.Layouts
import Corvane.Ui

// How much history is kept, how much there is, and link titles.
ColumnLayout {
    id: pane
    required property Theme theme
    required property SettingsActions actions
    spacing: 16
    onVisibleChanged: if (visible) actions.refreshStatistics()

    SettingsSection {
        theme: pane.theme
        SettingsPicker {
            objectName: "itemLimit"
            theme: pane.theme
            text: "Keep at most"
            options: [{ label: "Everything", value: 0 }, { label: "500 items", value: 500 },
                      { label: "2000 items", value: 2000 }, { label: "10000 items", value: 10000 },
                      { label: "50000 items", value: 50000 }]
            value: pane.actions.preferences.itemLimit
            onPicked: value => pane.actions.setItemLimit(value)
        }
        SettingsPicker {
            objectName: "dayLimit"
            theme: pane.theme
            text: "Keep for"
            options: [{ label: "Forever", value: 0 }, { label: "7 days", value: 7 },
                      { label: "30 days", value: 30 }, { label: "90 days", value: 90 },
                      { label: "365 days", value: 365 }]
            value: pane.actions.preferences.dayLimit
            onPicked: value => pane.actions.setDayLimit(value)
        }
        SettingsCaption { theme: pane.theme; text: "Anything on a pinboard is kept regardless of these limits." }
        RowLayout {
            Layout.fillWidth: true
            Text { text: "Stored"; font.pixelSize: 13; color: pane.theme.primaryInk; Layout.fillWidth: true }
            Text {
                objectName: "statistics"
                text: pane.actions.statisticsText
                font.pixelSize: 13
                color: pane.theme.secondaryInk
            }
        }
    }
    SettingsSection {
        theme: pane.theme
        SettingsToggle {
            objectName: "fetchesLinkPreviews"
            theme: pane.theme
            text: "Look up titles for links"
            caption: "The only thing Corvane sends over the network. Everything you copy stays on this computer — there is no account and no server."
            checked: pane.actions.preferences.fetchesLinkPreviews
            onToggled: checked => pane.actions.preferences.fetchesLinkPreviews = checked
        }
        SettingsToggle {
            objectName: "recognizesTextInImages"
            theme: pane.theme
            text: "Find images by the text in them"
            caption: "Words in copied screenshots and pictures are read on this computer, in the background, so a search finds them."
            checked: pane.actions.preferences.recognizesTextInImages
            onToggled: checked => pane.actions.preferences.recognizesTextInImages = checked
        }
    }
}
