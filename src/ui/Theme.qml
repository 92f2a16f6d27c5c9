import QtQuick

// The panel's colours in the light or the dark appearance.
QtObject {
    required property bool dark

    readonly property color panelBackground: dark ? Qt.rgba(0.16, 0.155, 0.15, 0.98) : Qt.rgba(0.965, 0.96, 0.955, 0.98)
    readonly property color panelBorder: dark ? Qt.rgba(1, 1, 1, 0.14) : Qt.rgba(0, 0, 0, 0.14)
    readonly property color controlBackground: dark ? Qt.rgba(1, 1, 1, 0.08) : Qt.rgba(0, 0, 0, 0.05)
    readonly property color controlOutline: dark ? Qt.rgba(1, 1, 1, 0.16) : Qt.rgba(0, 0, 0, 0.12)
    readonly property color selectedTab: dark ? Qt.rgba(1, 1, 1, 0.14) : Qt.rgba(0, 0, 0, 0.09)
    readonly property color popupBackground: dark ? Qt.rgba(0.2, 0.195, 0.19, 1) : "white"
    readonly property color menuHighlight: dark ? Qt.rgba(0.36, 0.62, 1.0, 0.35) : Qt.rgba(0.11, 0.45, 0.94, 0.16)
    readonly property color destructive: dark ? Qt.rgba(1.0, 0.42, 0.42, 1) : Qt.rgba(0.82, 0.16, 0.16, 1)
    readonly property color warning: dark ? Qt.rgba(1.0, 0.62, 0.2, 1) : Qt.rgba(0.85, 0.42, 0.0, 1)

    readonly property color textHeaderInk: dark ? Qt.rgba(0.14, 0.10, 0.01, 1) : Qt.rgba(0.24, 0.16, 0.02, 1)
    readonly property color cardBackground: dark ? Qt.rgba(0.23, 0.22, 0.21, 1) : "white"
    readonly property color hairline: dark ? Qt.rgba(1, 1, 1, 0.10) : Qt.rgba(0, 0, 0, 0.06)
    readonly property color selectionRing: dark ? Qt.rgba(0.36, 0.62, 1.0, 1) : Qt.rgba(0.11, 0.45, 0.94, 1)
    readonly property color shadow: dark ? Qt.rgba(0, 0, 0, 0.55) : Qt.rgba(0, 0, 0, 0.14)
    readonly property color primaryInk: dark ? Qt.rgba(0.95, 0.94, 0.93, 1) : Qt.rgba(0.09, 0.09, 0.10, 1)
    readonly property color secondaryInk: dark ? Qt.rgba(0.72, 0.70, 0.67, 1) : Qt.rgba(0.42, 0.40, 0.38, 1)
    readonly property color placeholderInk: dark ? Qt.rgba(0.55, 0.53, 0.51, 1) : Qt.rgba(0.60, 0.58, 0.56, 1)
    readonly property color imageWell: dark ? Qt.rgba(0.17, 0.165, 0.16, 1) : Qt.rgba(0.93, 0.92, 0.91, 1)

    // A colour as the icon provider's rrggbb.
    function hex(c) {
        function two(v) { const s = Math.round(v * 255).toString(16); return s.length < 2 ? "0" + s : s }
        return two(c.r) + two(c.g) + two(c.b)
    }
}
