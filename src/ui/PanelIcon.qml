import QtQuick

// One of the panel's symbols, from the icon theme or drawn by us in the given colour.
Image {
    id: icon
    required property string symbol
    property color color: "black"
    property int size: 16

    function hex(c) {
        function two(v) { const s = Math.round(v * 255).toString(16); return s.length < 2 ? "0" + s : s }
        return two(c.r) + two(c.g) + two(c.b)
    }

    width: size
    height: size
    sourceSize: Qt.size(size, size)
    source: "image://corvane-icon/symbol/" + symbol + "/" + hex(color)
    fillMode: Image.PreserveAspectFit
    smooth: true
}
