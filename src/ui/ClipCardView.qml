pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// One history item as a 232 x 208 card: a header band in the kind's colour with the kind and
// the age, the content by kind, and a footer line.
Item {
    id: card

    required property var itemID
    required property string kind
    required property string kindLabel
    required property var text
    // Undefined while a long text is being counted, and for other kinds.
    required property var characterCount
    required property string title
    required property var subtitle
    required property var blobName
    required property var byteCount
    required property var sourceBundleID
    required property var sourceAppName
    required property var createdAt
    required property var trigger
    required property int ordinal
    // Listed by a search that matched the words read in the image.
    property bool foundInImageText: false
    property bool isSelected: false
    property bool isMarked: false
    property bool isHovered: false
    // When the panel was last presented: ages are told from then, without a timer.
    property date now: new Date()
    required property Theme theme
    // The store's payload folder, where image cards find their pictures.
    property string blobFolder: ""

    readonly property bool dark: theme.dark
    readonly property color kindColor: Appearance.kindColor(kind, dark)
    readonly property color headerInk: kind === "text" ? theme.textHeaderInk : "white"
    readonly property bool hasAppIcon: sourceBundleID ? AppIcons.hasIcon(sourceBundleID) : false
    readonly property var parsedColor: kind === "color" && text ? CardFormat.hexColor(text) : undefined
    readonly property bool hasTrigger: trigger !== undefined && trigger !== null && trigger !== ""

    width: 232
    height: 208
    scale: isHovered && !isSelected ? 1.015 : 1
    Behavior on scale { NumberAnimation { duration: 160; easing.type: Easing.OutCubic } }

    Accessible.role: Accessible.ListItem
    Accessible.name: CardFormat.accessibleName(kindLabel, title, subtitle)
    Accessible.description: CardFormat.relativeTime(createdAt, now)
    Accessible.selected: isSelected
    Accessible.selectable: true

    // A soft shadow: two widening translucent outlines below the card.
    Repeater {
        model: 3
        Rectangle {
            required property int index
            readonly property real spread: card.isSelected ? 4 + index * 3 : (card.isHovered ? 3 + index * 2.5 : 1 + index * 1.2)
            x: -spread / 2
            y: (card.isSelected ? 5 : card.isHovered ? 4 : 2) - spread / 2 + 1
            width: card.width + spread
            height: card.height + spread
            radius: 12 + spread / 2
            color: "transparent"
            border.width: spread / 2 + 1
            border.color: Qt.rgba(card.theme.shadow.r, card.theme.shadow.g, card.theme.shadow.b, card.theme.shadow.a / (index + 2))
        }
    }

    Rectangle {
        id: background
        anchors.fill: parent
        radius: 12
        color: card.theme.cardBackground
        clip: true

        // Header band.
        Rectangle {
            id: header
            width: parent.width
            height: 44
            radius: 12
            color: card.kindColor
            Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 12; color: card.kindColor }

            Column {
                x: 10
                y: 6
                spacing: 1
                Text {
                    text: card.kindLabel
                    font.pixelSize: 13
                    font.bold: true
                    color: card.headerInk
                }
                Text {
                    objectName: "relativeTime"
                    text: CardFormat.relativeTime(card.createdAt, card.now)
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    color: card.headerInk
                    opacity: 0.75
                }
            }

            IconItem {
                objectName: "appIcon"
                visible: card.hasAppIcon
                anchors.right: parent.right
                anchors.rightMargin: 10
                y: 6
                width: 26
                height: 26
                radius: 6
                source: card.hasAppIcon ? "app/" + card.sourceBundleID : ""
                ToolTip.visible: appIconMouse.containsMouse
                ToolTip.delay: 700
                ToolTip.text: card.sourceAppName ?? ""
                MouseArea {
                    id: appIconMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    acceptedButtons: Qt.NoButton
                }
            }
            Text {
                objectName: "shortcutHint"
                visible: !card.hasAppIcon && card.ordinal <= 9
                anchors.right: parent.right
                anchors.rightMargin: 10
                y: 7
                text: "Ctrl+" + card.ordinal
                font.pixelSize: 11
                font.weight: Font.DemiBold
                color: card.headerInk
                opacity: 0.8
            }
        }

        // Content area.
        Item {
            id: content
            anchors.top: header.bottom
            anchors.bottom: footer.top
            width: parent.width
            clip: true

            Column {
                visible: card.kind === "text" || card.kind === "link"
                x: 10
                y: 10
                width: parent.width - 20
                spacing: 4
                Text {
                    width: parent.width
                    text: CardFormat.lead(card.title)
                    textFormat: Text.PlainText
                    font.pixelSize: 12
                    font.weight: Font.DemiBold
                    color: card.theme.primaryInk
                    wrapMode: Text.Wrap
                    maximumLineCount: card.kind === "link" ? 3 : 2
                    elide: Text.ElideRight
                }
                Text {
                    readonly property string shown: CardFormat.lead(card.kind === "link" ? (card.text || "") : (card.subtitle || ""))
                    visible: shown !== ""
                    width: parent.width
                    text: shown
                    textFormat: Text.PlainText
                    font.pixelSize: 11
                    color: card.theme.secondaryInk
                    wrapMode: card.kind === "link" ? Text.WrapAnywhere : Text.Wrap
                    maximumLineCount: card.kind === "link" ? 3 : 6
                    elide: card.kind === "link" ? Text.ElideMiddle : Text.ElideRight
                }
            }

            Rectangle {
                visible: card.kind === "image"
                anchors.fill: parent
                color: card.theme.imageWell
                CardPicture {
                    id: picture
                    anchors.fill: parent
                    blobFolder: card.blobFolder
                    blobName: card.kind === "image" && card.blobName ? card.blobName : ""
                }
                PanelIcon {
                    objectName: "imagePlaceholder"
                    visible: !picture.ready
                    anchors.centerIn: parent
                    symbol: "photo"
                    size: 28
                    color: card.theme.placeholderInk
                }
                // Why an image is among the results: dark glass reads over any picture.
                Rectangle {
                    objectName: "textInImageHint"
                    visible: card.foundInImageText
                    anchors.left: parent.left
                    anchors.bottom: parent.bottom
                    anchors.margins: 8
                    width: hintText.implicitWidth + 12
                    height: hintText.implicitHeight + 4
                    radius: height / 2
                    color: Qt.rgba(0, 0, 0, 0.62)
                    Text {
                        id: hintText
                        anchors.centerIn: parent
                        text: qsTr("text in image")
                        font.pixelSize: 10
                        font.weight: Font.Medium
                        color: "white"
                    }
                }
            }

            Column {
                visible: card.kind === "file"
                anchors.centerIn: parent
                spacing: 4
                IconItem {
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 52
                    height: 52
                    source: card.kind === "file" ? "mime/" + CardFormat.fileIconName(card.text || "") : ""
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: card.byteCount > 0
                    text: CardFormat.byteCount(card.byteCount)
                    font.pixelSize: 11
                    color: card.theme.secondaryInk
                }
            }

            Rectangle {
                objectName: "colorSwatch"
                visible: card.kind === "color" && card.parsedColor !== undefined
                anchors.fill: parent
                color: card.parsedColor !== undefined ? card.parsedColor : "transparent"
            }
            PanelIcon {
                visible: card.kind === "color" && card.parsedColor === undefined
                anchors.centerIn: parent
                symbol: "paintpalette"
                size: 28
                color: card.theme.placeholderInk
            }
        }

        // Footer.
        Item {
            id: footer
            anchors.bottom: parent.bottom
            width: parent.width
            height: 29
            Rectangle { width: parent.width; height: 1; color: card.theme.hairline; opacity: 0.5 }
            Rectangle { width: parent.width; height: 1; color: card.theme.hairline }
            Text {
                x: 10
                y: 7
                width: parent.width - 20 - (badge.visible ? badge.width + 8 : count.visible ? count.implicitWidth + 8 : 0)
                text: CardFormat.footerLabel(card.kind, card.title, card.subtitle, card.sourceAppName)
                textFormat: Text.PlainText
                font.pixelSize: 11
                font.weight: Font.Medium
                color: card.theme.primaryInk
                elide: Text.ElideMiddle
                maximumLineCount: 1
            }
            Rectangle {
                id: badge
                visible: card.hasTrigger
                anchors.right: parent.right
                anchors.rightMargin: 10
                y: 7
                width: triggerText.implicitWidth + 8
                height: triggerText.implicitHeight + 2
                radius: 3
                color: Qt.rgba(card.theme.hairline.r, card.theme.hairline.g, card.theme.hairline.b, card.theme.hairline.a * 0.5 + 0.04)
                Accessible.name: "Trigger " + (card.trigger || "")
                Text {
                    id: triggerText
                    anchors.centerIn: parent
                    text: card.trigger || ""
                    font.pixelSize: 10
                    font.family: "monospace"
                    color: card.theme.placeholderInk
                }
            }
            Text {
                id: count
                visible: !card.hasTrigger && card.characterCount !== undefined
                anchors.right: parent.right
                anchors.rightMargin: 10
                y: 8
                text: visible ? card.characterCount : ""
                font.pixelSize: 10
                font.family: "monospace"
                color: card.theme.placeholderInk
            }
        }
    }

    // Border drawn inside the edge: the selection ring or the hairline.
    Rectangle {
        anchors.fill: parent
        radius: 12
        color: "transparent"
        border.width: card.isSelected ? 3 : 1
        border.color: card.isSelected ? card.theme.selectionRing : card.theme.hairline
        Behavior on border.width { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
    }

    // The marked state of a multiple selection.
    PanelIcon {
        visible: card.isMarked
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        anchors.leftMargin: -5
        anchors.bottomMargin: -5
        symbol: "checkmark-circle"
        size: 18
        color: card.theme.selectionRing
    }
}
