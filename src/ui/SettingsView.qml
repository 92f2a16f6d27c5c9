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

    Theme { id: theme; dark: Appearance.dark }

    palette.window: theme.panelBackground
    palette.windowText: theme.primaryInk
    palette.base: theme.cardBackground
    palette.alternateBase: theme.imageWell
    palette.text: theme.primaryInk
    palette.button: theme.cardBackground
    palette.buttonText: theme.primaryInk
    palette.highlight: theme.selectionRing
    palette.highlightedText: "white"
    palette.placeholderText: theme.placeholderInk
    palette.mid: theme.controlOutline
    palette.dark: theme.secondaryInk
    palette.light: theme.cardBackground
    palette.midlight: theme.controlBackground
    palette.shadow: theme.shadow
    palette.toolTipBase: theme.popupBackground
    palette.toolTipText: theme.primaryInk

    background: Rectangle { color: theme.panelBackground }

    header: Rectangle {
        implicitHeight: 64
        color: theme.panelBackground
        Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: theme.hairline }
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
                        color: tab.selected ? theme.selectedTab : (tab.hovered ? theme.hairline : "transparent")
                    }
                    contentItem: Column {
                        spacing: 3
                        topPadding: 6
                        PanelIcon {
                            anchors.horizontalCenter: parent.horizontalCenter
                            symbol: tab.modelData[1]
                            size: 20
                            color: tab.selected ? theme.selectionRing : theme.secondaryInk
                        }
                        Text {
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: tab.modelData[0]
                            font.pixelSize: 11
                            color: tab.selected ? theme.primaryInk : theme.secondaryInk
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

    Component { id: generalPane; GeneralPane { objectName: "generalPane"; theme: theme; actions: root.actions } }
    Component { id: privacyPane; PrivacyPane { objectName: "privacyPane"; theme: theme; actions: root.actions } }
    Component { id: historyPane; HistoryPane { objectName: "historyPane"; theme: theme; actions: root.actions } }
    Component { id: expansionPane; ExpansionPane { objectName: "expansionPane"; theme: theme; actions: root.actions } }
    Component { id: aiToolsPane; AiToolsPane { objectName: "aiToolsPane"; theme: theme; actions: root.actions } }
    Component { id: aboutPane; AboutPane { objectName: "aboutPane"; theme: theme; actions: root.actions } }
}
