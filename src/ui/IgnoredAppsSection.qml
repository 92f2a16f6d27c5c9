import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// An ignore list over installed applications: the installed ones with icon and name, the
// count of the others, "Add…" through a chooser of installed applications, and "Remove".
SettingsSection {
    id: section
    required property SettingsActions actions
    property string emptyMessage
    property var bundleIDs: []
    property bool explainsUninstalled: false
    property string selection: ""
    readonly property var installed: actions.applications.installedEntries(bundleIDs)
    signal edited(var bundleIDs)

    Rectangle {
        objectName: section.objectName + "List"
        visible: section.installed.length > 0
        Layout.fillWidth: true
        implicitHeight: Math.min(section.installed.length, 5) * 28 + 2
        radius: 6
        color: "transparent"
        border.width: 1
        border.color: section.theme.controlOutline
        clip: true
        ListView {
            id: list
            anchors.fill: parent
            anchors.margins: 1
            model: section.installed
            boundsBehavior: Flickable.StopAtBounds
            delegate: Rectangle {
                id: row
                required property var modelData
                required property int index
                width: ListView.view.width
                height: 28
                color: section.selection === modelData.bundleID ? section.theme.menuHighlight
                     : (index % 2 ? section.theme.hairline : "transparent")
                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 8
                    anchors.rightMargin: 8
                    spacing: 8
                    Image {
                        source: AppIcons.hasIcon(row.modelData.bundleID) ? "image://corvane-icon/app/" + row.modelData.bundleID
                                : "image://corvane-icon/mime/application-x-executable"
                        sourceSize: Qt.size(18, 18)
                        Layout.preferredWidth: 18
                        Layout.preferredHeight: 18
                    }
                    Text {
                        text: row.modelData.name
                        font.pixelSize: 13
                        color: section.theme.primaryInk
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                    }
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: section.selection = row.modelData.bundleID
                }
            }
        }
    }
    Text {
        objectName: section.objectName + "Empty"
        visible: section.installed.length === 0
        text: section.emptyMessage
        font.pixelSize: 12
        color: section.theme.secondaryInk
        Layout.fillWidth: true
        wrapMode: Text.Wrap
    }
    SettingsCaption {
        objectName: section.objectName + "Caption"
        theme: section.theme
        visible: section.explainsUninstalled && text.length > 0
        text: section.actions.applications.uninstalledCaption(section.bundleIDs.length - section.installed.length)
    }
    RowLayout {
        spacing: 8
        PanelButton {
            objectName: section.objectName + "Add"
            theme: section.theme
            text: "Add…"
            onClicked: chooser.open()
        }
        PanelButton {
            objectName: section.objectName + "Remove"
            theme: section.theme
            text: "Remove"
            enabled: section.selection.length > 0
            onClicked: {
                section.edited(section.bundleIDs.filter(id => id !== section.selection))
                section.selection = ""
            }
        }
    }
    AppChooser {
        id: chooser
        objectName: section.objectName + "Chooser"
        theme: section.theme
        applications: section.actions.applications
        onChosen: ids => {
            let list = section.bundleIDs
            for (const id of ids)
                list = section.actions.withApplication(list, id)
            section.edited(list)
        }
    }
}
