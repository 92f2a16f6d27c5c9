import QtQuick

// A symbol that takes its size in layouts too.
PanelIcon {
    implicitWidth: size
    implicitHeight: size
}
