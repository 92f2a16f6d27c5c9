pragma ComponentBehavior: Bound
import QtQuick
import Corvane.Ui
import QtQuick.Controls.Basic

// One tab of the strip: the Clipboard tab (no board id) or a pinboard's. It takes card drops
// and, for pinboards, the place of another pinboard tab dragged across it.
Item {
    id: tab

    required property var model
    required property Theme theme
    required property TabDragState dragState
    required property CardDrag cardDrag
    property var boardID: null
    property var destinationIndex: null
    property string title: ""
    property string symbol: ""
    property color dotColor: "transparent"
    property string help: ""
    signal contextMenuRequested()

    readonly property bool isPinboard: boardID !== null
    readonly property bool selected: isPinboard ? model.selectedPinboardID === boardID
                                                : (model.selectedPinboardID === undefined || model.selectedPinboardID === null)
    readonly property bool highlighted: dragState.dropTargetPinboardID !== undefined && dragState.dropTargetPinboardID !== null
                                        && dragState.dropTargetPinboardID === (isPinboard ? boardID : -1)
    readonly property bool showsFiledBadge: isPinboard && model.recentlyFiledPinboardID === boardID

    implicitWidth: body.width
    implicitHeight: body.height
    z: highlighted ? 1 : 0

    Accessible.role: Accessible.PageTab
    Accessible.name: title
    Accessible.selected: selected

    Rectangle {
        id: body
        objectName: "tabBody"
        width: content.implicitWidth + 20
        height: content.implicitHeight + 10
        radius: 7
        color: tab.highlighted ? tab.theme.menuHighlight : tab.selected ? tab.theme.selectedTab : "transparent"
        scale: tab.highlighted ? 1.14 : 1
        Behavior on scale { SpringAnimation { spring: 5; damping: 0.3 } }

        Row {
            id: content
            anchors.centerIn: parent
            spacing: 5
            PanelIcon {
                visible: tab.symbol !== ""
                anchors.verticalCenter: parent.verticalCenter
                symbol: tab.symbol || "clock"
                size: 13
                color: tab.theme.primaryInk
            }
            Rectangle {
                objectName: "colorDot"
                visible: tab.isPinboard
                anchors.verticalCenter: parent.verticalCenter
                width: 8
                height: 8
                radius: 4
                color: tab.dotColor
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: tab.title
                font.pixelSize: 12
                font.weight: tab.selected ? Font.DemiBold : Font.Normal
                color: tab.theme.primaryInk
            }
        }
    }

    PanelIcon {
        objectName: "filedBadge"
        anchors.right: body.right
        anchors.top: body.top
        anchors.rightMargin: -4
        anchors.topMargin: -4
        symbol: "checkmark-circle"
        size: 12
        color: tab.theme.selectionRing
        opacity: tab.showsFiledBadge ? 1 : 0
        scale: tab.showsFiledBadge ? 1 : 0.3
        Behavior on opacity { NumberAnimation { duration: 180 } }
        Behavior on scale { NumberAnimation { duration: 180; easing.type: Easing.OutBack } }
    }

    TabDropDelegate {
        id: dropDelegate
        objectName: "tabDrop"
        model: tab.model
        dragState: tab.dragState
        boardID: tab.boardID
        destinationIndex: tab.destinationIndex
    }

    DropArea {
        anchors.fill: parent
        keys: tab.isPinboard ? [tab.dragState.itemMarkerType, tab.dragState.pinboardMarkerType]
                             : [tab.dragState.itemMarkerType]
        onEntered: drag => { drag.accepted = dropDelegate.enter(drag.formats); if (drag.accepted) drag.action = Qt.MoveAction }
        onExited: dropDelegate.exit()
        onDropped: drop => {
            drop.accepted = dropDelegate.perform(drop.formats)
            if (drop.accepted)
                drop.action = Qt.MoveAction
        }
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        property point pressPoint
        onPressed: mouse => { pressPoint = Qt.point(mouse.x, mouse.y) }
        onClicked: mouse => {
            if (mouse.button === Qt.RightButton) {
                if (tab.isPinboard)
                    tab.contextMenuRequested()
                return
            }
            tab.model.selectedPinboardID = tab.boardID
        }
        onPositionChanged: mouse => {
            if (!tab.isPinboard || !(mouse.buttons & Qt.LeftButton))
                return
            if (Math.abs(mouse.x - pressPoint.x) + Math.abs(mouse.y - pressPoint.y) > 8)
                tab.cardDrag.startPinboard(tab, tab.boardID)
        }
    }

    ToolTip.visible: mouse.containsMouse && tab.help !== ""
    ToolTip.delay: 700
    ToolTip.text: tab.help
}
