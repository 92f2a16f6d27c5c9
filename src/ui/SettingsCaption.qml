import QtQuick
import QtQuick.Layouts

// Explanatory small print under a setting.
Text {
    required property Theme theme
    Layout.fillWidth: true
    wrapMode: Text.Wrap
    font.pixelSize: 11
    color: theme.secondaryInk
}
