import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import QtQuick.Layouts
import Corvane.Ui

// A searchable list of the installed applications; several can be ticked and added at once.
Popup {
    id: chooser
    required property Theme theme
    required property InstalledApplications applications
    property var ticked: ({})
    signal chosen(var bundleIDs)

    parent: T.Overlay.overlay
    anchors.centerIn: parent
    width: 380
    height: 420
    modal: true
    padding: 12
    onAboutToShow: {
        ticked = {}
        search.text = ""
        applications.reload()
        search.forceActiveFocus()
    }
    background: Rectangle {
        radius: 10
        color: chooser.theme.popupBackground
        border.width: 1
        border.color: chooser.theme.panelBorder
    }
    contentItem: ColumnLayout {
        spacing: 8
        Text {
            text: "Choose Applications"
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: chooser.theme.primaryInk
        }
        SettingsTextField {
            theme: chooser.theme
            id: search
            objectName: chooser.objectName + "Search"
            Layout.fillWidth: true
            placeholderText: "Search"
            font.pixelSize: 12
            onTextChanged: chooser.applications.filter = text
        }
        ListView {
            id: list
            objectName: chooser.objectName + "List"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: chooser.applications
            delegate: Rectangle {
                id: row
                required property string bundleID
                required property string name
                required property int index
                width: ListView.view.width
                height: 30
                color: chooser.ticked[bundleID] ? chooser.theme.menuHighlight
                     : (index % 2 ? chooser.theme.hairline : "transparent")
                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 8
                    anchors.rightMargin: 8
                    spacing: 8
                    Image {
                        source: AppIcons.hasIcon(row.bundleID) ? "image://corvane-icon/app/" + row.bundleID
                                : "image://corvane-icon/mime/application-x-executable"
                        sourceSize: Qt.size(20, 20)
                        Layout.preferredWidth: 20
                        Layout.preferredHeight: 20
                    }
                    Text {
                        text: row.name
                        font.pixelSize: 13
                        color: chooser.theme.primaryInk
                        elide: Text.ElideRight
                        Layout.fillWidth: true
                    }
                    SettingsIcon {
                        visible: !!chooser.ticked[row.bundleID]
                        symbol: "checkmark"
                        color: chooser.theme.selectionRing
                        size: 14
                    }
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: {
                        const next = Object.assign({}, chooser.ticked)
                        if (next[row.bundleID])
                            delete next[row.bundleID]
                        else
                            next[row.bundleID] = true
                        chooser.ticked = next
                    }
                }
            }
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 8
            PanelButton { theme: chooser.theme; text: "Cancel"; onClicked: chooser.close() }
            PanelButton {
                objectName: chooser.objectName + "Confirm"
                theme: chooser.theme
                prominent: true
                text: "Add"
                enabled: Object.keys(chooser.ticked).length > 0
                onClicked: {
                    chooser.chosen(Object.keys(chooser.ticked))
                    chooser.close()
                }
            }
        }
    }
}
