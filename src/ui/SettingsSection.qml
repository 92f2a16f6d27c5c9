import QtQuick
import QtQuick.Layouts

// A titled group of settings on a rounded card.
ColumnLayout {
    id: section
    required property Theme theme
    property string title
    default property alias content: inner.data

    Layout.fillWidth: true
    spacing: 6

    Text {
        visible: section.title.length > 0
        text: section.title
        font.pixelSize: 12
        font.weight: Font.DemiBold
        color: section.theme.secondaryInk
        Layout.leftMargin: 4
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: inner.implicitHeight + 24
        radius: 8
        color: section.theme.cardBackground
        border.width: 1
        border.color: section.theme.hairline
        ColumnLayout {
            id: inner
            x: 14
            y: 12
            width: parent.width - 28
            spacing: 10
        }
    }
}
