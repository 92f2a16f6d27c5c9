import QtQuick
import QtQuick.Layouts
import Corvane.Ui

// A short warning with the triangle symbol.
RowLayout {
    id: warning
    required property Theme theme
    property string text
    property color tint: theme.warning
    property string symbol: "warning"
    Layout.fillWidth: true
    spacing: 6
    SettingsIcon { symbol: warning.symbol; color: warning.tint; size: 14 }
    Text {
        text: warning.text
        font.pixelSize: 11
        color: warning.tint
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
}
