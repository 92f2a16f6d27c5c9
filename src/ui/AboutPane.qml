import QtQuick
import QtQuick.Layouts
import Corvane.Ui

// The application's icon, name and version, feedback and the maker's pages.
ColumnLayout {
    id: pane
    required property Theme theme
    required property SettingsActions actions
    spacing: 10

    Item { Layout.preferredHeight: 24 }
    Item {
        Layout.alignment: Qt.AlignHCenter
        implicitWidth: 96
        implicitHeight: 96
        // A soft shadow under the icon.
        Rectangle {
            anchors.fill: parent
            anchors.margins: 6
            anchors.topMargin: 10
            radius: 22
            color: Qt.rgba(0, 0, 0, 0.3)
            opacity: 0.3
        }
        Image {
            anchors.fill: parent
            visible: pane.actions.iconSource.toString().length > 0
            source: pane.actions.iconSource
            sourceSize: Qt.size(192, 192)
            smooth: true
        }
        SettingsIcon {
            anchors.centerIn: parent
            visible: pane.actions.iconSource.toString().length === 0
            symbol: "clipboard"
            color: pane.theme.primaryInk
            size: 72
        }
    }
    Text {
        Layout.alignment: Qt.AlignHCenter
        text: "Corvane"
        font.pixelSize: 24
        font.weight: Font.Black
        color: pane.theme.primaryInk
    }
    Text {
        objectName: "version"
        Layout.alignment: Qt.AlignHCenter
        text: pane.actions.versionText
        font.pixelSize: 12
        color: pane.theme.secondaryInk
    }
    Item { Layout.preferredHeight: 6 }
    PanelButton {
        objectName: "sendFeedback"
        Layout.alignment: Qt.AlignHCenter
        theme: pane.theme
        text: "Send Feedback…"
        onClicked: pane.actions.sendFeedback()
    }
    RowLayout {
        Layout.alignment: Qt.AlignHCenter
        spacing: 18
        Repeater {
            model: [["Website", "https://ferrowen.com/apps/"], ["Support", "https://ferrowen.com/support"],
                    ["Privacy", "https://ferrowen.com/privacy"]]
            delegate: Text {
                id: link
                required property var modelData
                text: modelData[0]
                font.pixelSize: 13
                font.underline: linkArea.containsMouse
                color: pane.theme.selectionRing
                MouseArea {
                    id: linkArea
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: pane.actions.openUrl(link.modelData[1])
                }
            }
        }
    }
    Item { Layout.fillHeight: true }
}
