import QtQuick
import Corvane.Ui

// One of the panel's symbols at a square size, in a colour.
SymbolIcon {
    property int size: 16
    width: size
    height: size
}
