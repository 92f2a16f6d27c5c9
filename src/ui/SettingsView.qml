import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// The settings window's content: six panes behind a row of tabs.
Page {
    id: root
    required property SettingsActions actions
    property int currentIndex: 0

    implicitWidth: 620
    implicitHeight: 660

    Theme { id: settingsTheme; dark: Appearance.dark }

    palette.window: settingsTheme.panelBackground
    palette.windowText: settingsTheme.primaryInk
    palette.base: settingsTheme.cardBackground
    palette.alternateBase: settingsTheme.imageWell
    palette.text: settingsTheme.primaryInk
    palette.button: settingsTheme.cardBackground
    palette.buttonText: settingsTheme.primaryInk
    palette.highlight: settingsTheme.selectionRing
    palette.highlightedText: "white"
    palette.mid: settingsTheme.controlOutline
    palette.dark: settingsTheme.secondaryInk
    palette.light: settingsTheme.cardBackground
    palette.midlight: settingsTheme.controlBackground
    palette.shadow: settingsTheme.shadow
    palette.toolTipBase: settingsTheme.popupBackground
    palette.toolTipText: settingsTheme.primaryInk

    background: Rectangle { color: settingsTheme.panelBackground }

    header: Rectangle {
        implicitHeight: 64
        color: settingsTheme.panelBackground
        Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: settingsTheme.hairline }
        Row {
            anchors.centerIn: parent
            spacing: 4
            Repeater {
                model: [["General", "gearshape"], ["Privacy", "hand-raised"], ["History", "clock-arrow"],
                        ["Expansion", "text-cursor"], ["AI Tools", "sparkles"], ["About", "info-circle"]]
                delegate: AbstractButton {
                    id: tab
                    required property var modelData
                    required property int index
                    readonly property bool selected: root.currentIndex === index
                    objectName: "tab" + modelData[0].replace(" ", "")
                    width: 84
                    height: 52
                    onClicked: root.currentIndex = index
                    background: Rectangle {
                        radius: 7
                        color: tab.selected ? settingsTheme.selectedTab : (tab.hovered ? settingsTheme.hairline : "transparent")
                    }
                    contentItem: Column {
                        spacing: 3
                        topPadding: 6
                        SettingsIcon {
                            anchors.horizontalCenter: parent.horizontalCenter
                            symbol: tab.modelData[1]
                            size: 20
                            color: tab.selected ? settingsTheme.selectionRing : settingsTheme.secondaryInk
                        }
                        Text {
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: tab.modelData[0]
                            font.pixelSize: 11
                            color: tab.selected ? settingsTheme.primaryInk : settingsTheme.secondaryInk
                        }
                    }
                }
            }
        }
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: root.currentIndex
        Repeater {
            model: [generalPane, privacyPane, historyPane, expansionPane, aiToolsPane, aboutPane]
            delegate: ScrollView {
                id: scroller
                required property Component modelData
                contentWidth: availableWidth
                contentHeight: loader.height + 36
                clip: true
                Loader {
                    id: loader
                    x: 20
                    y: 18
                    width: scroller.availableWidth - 40
                    sourceComponent: scroller.modelData
                }
            }
        }
    }

    Component { id: generalPane; GeneralPane { objectName: "generalPane"; theme: settingsTheme; actions: root.actions } }
    Component { id: privacyPane; PrivacyPane { objectName: "privacyPane"; theme: settingsTheme; actions: root.actions } }
    Component { id: historyPane; HistoryPane { objectName: "historyPane"; theme: settingsTheme; actions: root.actions } }
    Component { id: expansionPane; ExpansionPane { objectName: "expansionPane"; theme: settingsTheme; actions: root.actions } }
    Component { id: aiToolsPane; AiToolsPane { objectName: "aiToolsPane"; theme: settingsTheme; actions: root.actions } }
    Component { id: aboutPane; AboutPane { objectName: "aboutPane"; theme: settingsTheme; actions: root.actions } }
}
