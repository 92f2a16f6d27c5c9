import QtQuick
import QtQuick.Controls

FocusScope {
    id: root
    required property QtObject model
    anchors.fill: parent
    focus: true

    Rectangle {
        anchors.fill: parent
        radius: 16
        color: "#f6f5f4"
        border.color: "#22000000"
    }
    TextField {
        id: search
        x: 12; y: 8; width: 300
        focus: true
        placeholderText: "Search"
        text: root.model.search
        onTextEdited: root.model.search = text
    }
    ListView {
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom; top: search.bottom; margins: 12 }
        orientation: ListView.Horizontal
        spacing: 12
        model: root.model.items
        delegate: Rectangle {
            required property string title
            required property bool isHighlighted
            width: 232; height: 208; radius: 12
            border.width: isHighlighted ? 3 : 1
            border.color: isHighlighted ? "#1c73f0" : "#10000000"
            Text { anchors.fill: parent; anchors.margins: 10; text: parent.title; wrapMode: Text.Wrap }
        }
    }
}
