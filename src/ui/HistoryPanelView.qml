import QtQuick
import Corvane.Ui
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The history panel's content: the search capsule with its filters, the tab strip, and the
// strip of cards (or the empty state), with the naming popover and the snippet editor.
FocusScope {
    id: root

    required property var model
    // The C++ side of the panel: asked to dismiss, asks for the search field's focus.
    required property var panel

    property var editorMode: null
    readonly property bool isNamingPinboard: namingPopup.opened
    readonly property bool isModal: isNamingPinboard || editorMode !== null
    // Cards tell their age from the time of the presentation or of the last reload.
    property date now: new Date()
    readonly property bool pinboardShown: model.selectedPinboardID !== undefined && model.selectedPinboardID !== null

    implicitWidth: 900
    implicitHeight: 300
    focus: true

    function focusSearch() {
        searchField.forceActiveFocus()
    }
    function dismiss() {
        if (panel)
            panel.dismiss()
    }
    function openNamingPopover() {
        namingField.text = ""
        namingPopup.open()
    }
    function openEditor(mode) {
        editorMode = mode
        editorPopup.open()
    }
    function finishEditor() {
        editorPopup.close()
    }
    function createPinboardFromPopover() {
        model.createPinboardNamed(namingField.text)
        namingPopup.close()
        focusSearch()
    }

    // The keyboard table. Answers whether the key was handled.
    function handleKey(event) {
        if (isModal)
            return false
        const ctrl = (event.modifiers & Qt.ControlModifier) !== 0
        const shift = (event.modifiers & Qt.ShiftModifier) !== 0
        const count = model.items.rowCount()
        switch (event.key) {
        case Qt.Key_Escape:
            dismiss()
            return true
        case Qt.Key_Left:
        case Qt.Key_Up:
            model.select(ctrl ? 0 : model.selectedIndex - 1, shift)
            return true
        case Qt.Key_Right:
        case Qt.Key_Down:
            model.select(ctrl ? count - 1 : model.selectedIndex + 1, shift)
            return true
        case Qt.Key_Return:
        case Qt.Key_Enter:
            if (shift)
                model.pasteAlternateItem(null)
            else
                model.pasteItem(null)
            return true
        case Qt.Key_Delete:
            if (model.selectedIndex >= 0 && model.selectedIndex < count)
                model.deleteItemWithID(itemIDAt(model.selectedIndex))
            return true
        }
        if (!ctrl)
            return false
        if (event.key === Qt.Key_F) {
            focusSearch()
            return true
        }
        if (event.key === Qt.Key_C && !shift) {
            model.copyOnlyItem(null)
            return true
        }
        if (event.key === Qt.Key_N && !shift) {
            openNamingPopover()
            return true
        }
        const digit = digitOf(event)
        if (digit < 0)
            return false
        if (digit === 0 || shift)
            return model.selectPinboard(digit)
        const id = model.selectItemNumber(digit)
        if (id === undefined || id === null)
            return false
        model.pasteItem(id)
        return true
    }
    // The digit of a key, also with Shift held on layouts where Shift+1 gives "!".
    function digitOf(event) {
        if (event.key >= Qt.Key_0 && event.key <= Qt.Key_9)
            return event.key - Qt.Key_0
        const shifted = [Qt.Key_ParenRight, Qt.Key_Exclam, Qt.Key_At, Qt.Key_NumberSign, Qt.Key_Dollar,
                         Qt.Key_Percent, Qt.Key_AsciiCircum, Qt.Key_Ampersand, Qt.Key_Asterisk, Qt.Key_ParenLeft]
        return shifted.indexOf(event.key)
    }
    function itemIDAt(index) {
        // 257 is the list's item id role (Qt.UserRole + 1).
        return model.items.data(model.items.index(index, 0), 257)
    }

    Keys.onPressed: event => { event.accepted = handleKey(event) }

    Connections {
        target: root.model
        // A new presentation starts without the popovers and menus of the last one.
        function onPresentationCountChanged() {
            root.now = new Date()
            namingPopup.close()
            editorPopup.close()
            filterMenu.dismiss()
            tabMenu.dismiss()
            cardMenu.dismiss()
            root.focusSearch()
        }
        // Rows come and go without a reset, so the strip is brought back to the selection.
        function onItemsChanged() {
            root.now = new Date()
            cardList.positionViewAtIndex(root.model.selectedIndex, ListView.Contain)
        }
        function onSelectedIndexChanged() { cardList.positionViewAtIndex(root.model.selectedIndex, ListView.Contain) }
    }
    Connections {
        target: root.panel
        ignoreUnknownSignals: true
        function onFocusSearchRequested() { root.focusSearch() }
    }
    Component.onCompleted: focusSearch()

    Theme { id: panelTheme; dark: Appearance.dark }
    TabDragState { id: tabDragState; objectName: "dragState" }
    CardDrag { id: cardDragger; model: root.model; dragState: tabDragState }

    Rectangle {
        anchors.fill: parent
        radius: 16
        color: panelTheme.panelBackground
        border.width: 1
        border.color: panelTheme.panelBorder
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 1
        spacing: 0

        // Header row.
        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.topMargin: 8
            Layout.bottomMargin: 8
            spacing: 10

            Rectangle {
                id: capsule
                Layout.preferredWidth: 300
                Layout.minimumWidth: 260
                Layout.maximumWidth: 460
                Layout.preferredHeight: 30
                radius: height / 2
                color: panelTheme.controlBackground
                border.width: 1
                border.color: searchField.activeFocus ? Qt.rgba(panelTheme.selectionRing.r, panelTheme.selectionRing.g, panelTheme.selectionRing.b, 0.6) : panelTheme.controlOutline

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 10
                    anchors.rightMargin: 6
                    anchors.topMargin: 6
                    anchors.bottomMargin: 6
                    spacing: 6

                    PanelIcon { symbol: "magnifyingglass"; size: 14; color: panelTheme.secondaryInk }

                    Repeater {
                        model: root.model.activeKinds
                        delegate: FilterChip {
                            required property string modelData
                            label: ({ text: "Text", link: "Link", image: "Image", file: "File", color: "Color" })[modelData] ?? modelData
                            chipColor: Appearance.kindColor(modelData, panelTheme.dark)
                            inkColor: modelData === "text" ? panelTheme.textHeaderInk : "white"
                            onRemove: root.model.toggleKind(modelData)
                        }
                    }
                    Repeater {
                        model: root.model.activeSourceBundleIDs
                        delegate: FilterChip {
                            required property string modelData
                            label: root.model.sourceNameOf(modelData)
                            chipColor: panelTheme.secondaryInk
                            inkColor: panelTheme.cardBackground
                            onRemove: root.model.toggleSource(modelData)
                        }
                    }

                    TextField {
                        id: searchField
                        objectName: "searchField"
                        Layout.fillWidth: true
                        Layout.minimumWidth: 60
                        placeholderText: "Search"
                        placeholderTextColor: panelTheme.placeholderInk
                        text: root.model.search
                        color: panelTheme.primaryInk
                        selectionColor: panelTheme.selectionRing
                        selectedTextColor: "white"
                        font.pixelSize: 13
                        padding: 0
                        background: null
                        onTextEdited: root.model.search = text
                        // The panel's keys come first where the field would not use them.
                        Keys.priority: Keys.BeforeItem
                        Keys.onPressed: event => {
                            const ctrl = (event.modifiers & Qt.ControlModifier) !== 0
                            const noSelection = searchField.selectedText === ""
                            let panelKey = false
                            switch (event.key) {
                            case Qt.Key_Left: panelKey = noSelection && searchField.cursorPosition === 0; break
                            case Qt.Key_Right: panelKey = noSelection && searchField.cursorPosition === searchField.length; break
                            case Qt.Key_Delete: panelKey = noSelection && searchField.cursorPosition === searchField.length; break
                            case Qt.Key_C: panelKey = !ctrl || noSelection; break
                            case Qt.Key_Up: case Qt.Key_Down: case Qt.Key_Return: case Qt.Key_Enter: case Qt.Key_Escape:
                                panelKey = true; break
                            default: panelKey = ctrl
                            }
                            if (panelKey)
                                event.accepted = root.handleKey(event)
                        }
                    }

                    PanelIconButton {
                        objectName: "clearSearch"
                        visible: root.model.search !== ""
                        symbol: "xmark-circle"
                        iconColor: panelTheme.placeholderInk
                        Accessible.name: "Clear search"
                        onClicked: root.model.search = ""
                    }

                    PanelIconButton {
                        id: filterButton
                        objectName: "filterButton"
                        symbol: root.model.hasActiveFilters ? "filter-active" : "filter"
                        iconColor: root.model.hasActiveFilters ? panelTheme.selectionRing : panelTheme.secondaryInk
                        Accessible.name: "Filter"
                        onClicked: filterMenu.popup(filterButton, 0, filterButton.height + 4)
                    }
                }
            }

            // Tab strip.
            Flickable {
                id: tabStrip
                Layout.fillWidth: true
                Layout.maximumWidth: 520
                Layout.preferredWidth: tabRow.width
                Layout.preferredHeight: 30
                Layout.alignment: Qt.AlignLeft
                contentWidth: tabRow.width
                contentHeight: height
                flickableDirection: Flickable.HorizontalFlick
                boundsBehavior: Flickable.StopAtBounds
                clip: true

                Row {
                    id: tabRow
                    height: parent.height
                    spacing: 4
                    leftPadding: 4
                    rightPadding: 4

                    PinboardTab {
                        objectName: "clipboardTab"
                        anchors.verticalCenter: parent.verticalCenter
                        model: root.model
                        theme: panelTheme
                        dragState: tabDragState
                        cardDrag: cardDragger
                        title: "Clipboard"
                        symbol: "clock"
                        help: "Clipboard (Ctrl+0)"
                    }
                    Repeater {
                        id: pinboardTabs
                        model: root.model.pinboards
                        delegate: PinboardTab {
                            required property var pinboardID
                            required property string name
                            required property int colorIndex
                            required property int position
                            objectName: "pinboardTab-" + position
                            anchors.verticalCenter: parent.verticalCenter
                            model: root.model
                            theme: panelTheme
                            dragState: tabDragState
                            cardDrag: cardDragger
                            boardID: pinboardID
                            destinationIndex: position
                            title: name
                            dotColor: Appearance.pinboardColor(colorIndex, panelTheme.dark)
                            help: CardFormat.pinboardHelp(name, position)
                            onContextMenuRequested: {
                                tabMenu.pinboardID = pinboardID
                                tabMenu.position = position
                                tabMenu.popup()
                            }
                        }
                    }
                    PanelIconButton {
                        objectName: "newPinboardButton"
                        anchors.verticalCenter: parent.verticalCenter
                        symbol: "plus"
                        iconColor: panelTheme.secondaryInk
                        Accessible.name: "New pinboard"
                        onClicked: root.openNamingPopover()
                    }
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: panelTheme.panelBorder
            opacity: 0.4
        }

        // Cards area.
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumHeight: 236

            Column {
                objectName: "emptyState"
                visible: cardList.count === 0
                anchors.centerIn: parent
                spacing: 6
                PanelIcon {
                    anchors.horizontalCenter: parent.horizontalCenter
                    symbol: root.model.search !== "" ? "magnifyingglass" : "clipboard"
                    size: 26
                    color: panelTheme.secondaryInk
                }
                Text {
                    objectName: "emptyStateText"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: CardFormat.emptyStateText(root.model.search, root.model.hasActiveFilters, root.pinboardShown)
                    font.pixelSize: 13
                    color: panelTheme.secondaryInk
                }
            }

            ListView {
                id: cardList
                objectName: "cardList"
                visible: count > 0
                anchors.fill: parent
                orientation: ListView.Horizontal
                spacing: 12
                leftMargin: 12
                rightMargin: 12
                clip: true
                reuseItems: true
                boundsBehavior: Flickable.StopAtBounds
                model: root.model.items
                cacheBuffer: 500
                footer: Item {
                    width: root.pinboardShown ? 244 : 0
                    height: cardList.height
                    NewSnippetTile {
                        visible: root.pinboardShown
                        x: 12
                        y: 10
                        theme: panelTheme
                        onClicked: root.openEditor({ create: true, pinboardID: root.model.selectedPinboardID })
                    }
                }

                delegate: Item {
                    id: slot
                    required property var itemID
                    required property string kind
                    required property string kindLabel
                    required property var text
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
                    required property bool isHighlighted
                    required property bool foundInImageText
                    readonly property var draggedIDs: root.model.draggedItemIDs
                    readonly property bool departing: root.model.departingItemID === itemID
                    readonly property bool dimmed: draggedIDs.length >= 2 && draggedIDs.indexOf(itemID) >= 0
                                                   && root.model.draggedPrimaryID !== itemID
                    readonly property var refusal: root.model.cardRefusal

                    objectName: "card-" + (ordinal - 1)
                    width: 232
                    height: cardList.height

                    ClipCardView {
                        id: cardView
                        y: 10
                        itemID: slot.itemID
                        kind: slot.kind
                        kindLabel: slot.kindLabel
                        text: slot.text
                        characterCount: slot.characterCount
                        title: slot.title
                        subtitle: slot.subtitle
                        blobName: slot.blobName
                        byteCount: slot.byteCount
                        sourceBundleID: slot.sourceBundleID
                        sourceAppName: slot.sourceAppName
                        createdAt: slot.createdAt
                        trigger: slot.trigger
                        foundInImageText: slot.foundInImageText
                        ordinal: slot.ordinal
                        isSelected: slot.isHighlighted
                        isMarked: slot.isHighlighted && root.model.markedIDs.length > 0
                        isHovered: cardMouse.containsMouse
                        now: root.now
                        blobFolder: root.panel ? root.panel.blobFolder : ""
                        theme: panelTheme
                        opacity: slot.departing ? 0 : slot.dimmed ? 0.4 : 1
                        transform: Scale {
                            origin.x: 116
                            origin.y: 104
                            xScale: slot.departing ? 0.2 : slot.dimmed ? 0.88 : 1
                            yScale: xScale
                            Behavior on xScale { SpringAnimation { spring: 4; damping: 0.4 } }
                        }
                        Behavior on opacity { NumberAnimation { duration: 220 } }

                        MouseArea {
                            id: cardMouse
                            anchors.fill: parent
                            hoverEnabled: true
                            acceptedButtons: Qt.LeftButton | Qt.RightButton
                            property point pressPoint
                            property bool dragged: false
                            onPressed: mouse => { pressPoint = Qt.point(mouse.x, mouse.y); dragged = false }
                            onPositionChanged: mouse => {
                                if (dragged || !(mouse.buttons & Qt.LeftButton))
                                    return
                                if (Math.abs(mouse.x - pressPoint.x) + Math.abs(mouse.y - pressPoint.y) > 10) {
                                    dragged = true
                                    cardDragger.startCard(cardView, slot.itemID)
                                }
                            }
                            onClicked: mouse => {
                                if (dragged)
                                    return
                                if (mouse.button === Qt.RightButton) {
                                    cardMenu.show(slot.itemID, slot.kind, slot.trigger)
                                    return
                                }
                                if (mouse.modifiers & Qt.ControlModifier)
                                    root.model.toggleMark(slot.itemID)
                                else if (mouse.modifiers & Qt.ShiftModifier)
                                    root.model.extendSelection(slot.itemID)
                                else
                                    root.model.pasteItem(slot.itemID)
                            }
                        }
                    }

                    // The store's refusal, under the card it concerns.
                    Rectangle {
                        objectName: "cardRefusal"
                        readonly property bool shown: slot.refusal !== undefined && slot.refusal !== null && slot.refusal.itemID === slot.itemID
                        visible: opacity > 0
                        opacity: shown ? 1 : 0
                        Behavior on opacity { NumberAnimation { duration: 200 } }
                        anchors.horizontalCenter: cardView.horizontalCenter
                        anchors.bottom: parent.bottom
                        anchors.bottomMargin: 4
                        width: Math.min(refusalText.implicitWidth + 20, 228)
                        height: refusalText.implicitHeight + 10
                        radius: 8
                        color: panelTheme.destructive
                        z: 2
                        Text {
                            id: refusalText
                            anchors.centerIn: parent
                            width: Math.min(implicitWidth, 208)
                            text: parent.shown ? slot.refusal.message : ""
                            wrapMode: Text.Wrap
                            horizontalAlignment: Text.AlignHCenter
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            color: "white"
                        }
                    }
                }
            }
        }
    }

    // The action error, over the top of the panel.
    Rectangle {
        id: actionError
        objectName: "actionError"
        readonly property bool shown: root.model.actionError !== undefined && root.model.actionError !== null
        property string message: ""
        onShownChanged: if (shown) message = root.model.actionError
        anchors.horizontalCenter: parent.horizontalCenter
        y: shown ? 8 : -height
        opacity: shown ? 1 : 0
        visible: opacity > 0
        Behavior on y { NumberAnimation { duration: 180; easing.type: Easing.OutCubic } }
        Behavior on opacity { NumberAnimation { duration: 180 } }
        width: errorText.implicitWidth + 24
        height: errorText.implicitHeight + 14
        radius: height / 2
        color: panelTheme.dark ? Qt.rgba(0.25, 0.24, 0.23, 0.96) : Qt.rgba(1, 1, 1, 0.96)
        border.width: 1
        border.color: panelTheme.controlOutline
        z: 10
        Connections {
            target: root.model
            function onActionErrorChanged() { if (actionError.shown) actionError.message = root.model.actionError }
        }
        Text {
            id: errorText
            anchors.centerIn: parent
            text: actionError.message
            font.pixelSize: 11
            color: panelTheme.primaryInk
        }
        MouseArea {
            anchors.fill: parent
            onClicked: root.model.dismissActionError()
        }
    }

    PanelMenu {
        id: filterMenu
        objectName: "filterMenu"
        theme: panelTheme
        PanelMenuItem { text: "Type"; enabled: false; theme: panelTheme; header: true }
        PanelMenuItem {
            theme: panelTheme
            text: "Text"
            checkable: true
            checked: root.model.activeKinds.indexOf("text") >= 0
            onTriggered: root.model.toggleKind("text")
        }
        PanelMenuItem {
            theme: panelTheme
            text: "Link"
            checkable: true
            checked: root.model.activeKinds.indexOf("link") >= 0
            onTriggered: root.model.toggleKind("link")
        }
        PanelMenuItem {
            theme: panelTheme
            text: "Image"
            checkable: true
            checked: root.model.activeKinds.indexOf("image") >= 0
            onTriggered: root.model.toggleKind("image")
        }
        PanelMenuItem {
            theme: panelTheme
            text: "File"
            checkable: true
            checked: root.model.activeKinds.indexOf("file") >= 0
            onTriggered: root.model.toggleKind("file")
        }
        PanelMenuItem {
            theme: panelTheme
            text: "Color"
            checkable: true
            checked: root.model.activeKinds.indexOf("color") >= 0
            onTriggered: root.model.toggleKind("color")
        }
        PanelMenuItem {
            id: sourcesHeader
            visible: root.model.sourceApps.length > 0
            text: "Copied from"; enabled: false; theme: panelTheme; header: true
        }
        // Menus take their entries through insertItem, not from a Repeater.
        Instantiator {
            model: root.model.sourceApps
            delegate: PanelMenuItem {
                required property var modelData
                theme: panelTheme
                text: modelData.name + " (" + modelData.itemCount + ")"
                checkable: true
                checked: root.model.activeSourceBundleIDs.indexOf(modelData.bundleID) >= 0
                onTriggered: root.model.toggleSource(modelData.bundleID)
            }
            // Sources follow the "Copied from" header (the Type header, 5 kinds, itself).
            onObjectAdded: (index, object) => filterMenu.insertItem(7 + index, object)
            onObjectRemoved: (index, object) => filterMenu.removeItem(object)
        }
        MenuSeparator {
            visible: root.model.hasActiveFilters
            height: visible ? implicitHeight : 0
            contentItem: Rectangle { implicitHeight: 1; color: panelTheme.controlOutline }
        }
        PanelMenuItem {
            visible: root.model.hasActiveFilters
            height: visible ? implicitHeight : 0
            theme: panelTheme
            text: "Clear Filters"
            onTriggered: root.model.clearFilters()
        }
    }

    PanelMenu {
        id: tabMenu
        objectName: "tabMenu"
        theme: panelTheme
        property var pinboardID: null
        property int position: 0
        PanelMenuItem {
            theme: panelTheme
            text: "Move Left"
            enabled: tabMenu.position > 0
            onTriggered: root.model.movePinboardByOffset(tabMenu.pinboardID, -1)
        }
        PanelMenuItem {
            theme: panelTheme
            text: "Move Right"
            enabled: tabMenu.position < pinboardTabs.count - 1
            onTriggered: root.model.movePinboardByOffset(tabMenu.pinboardID, 1)
        }
        MenuSeparator { contentItem: Rectangle { implicitHeight: 1; color: panelTheme.controlOutline } }
        PanelMenuItem {
            theme: panelTheme
            text: "Delete Pinboard"
            destructive: true
            onTriggered: root.model.deletePinboardWithID(tabMenu.pinboardID)
        }
    }

    PanelMenu {
        id: cardMenu
        objectName: "cardMenu"
        theme: panelTheme
        property var itemID: null
        property string kind: ""
        property var itemTrigger: null
        property var filedOn: []
        function show(id, itemKind, trigger) {
            itemID = id
            kind = itemKind
            itemTrigger = trigger
            filedOn = root.model.pinboardIDsOfItem(id)
            // The submenu is there only while there are pinboards to list.
            const hasPinboards = root.model.pinboards.rowCount() > 0
            if (hasPinboards && !pinboardsShown) {
                insertMenu(5, pinboardsMenu)
                pinboardsShown = true
            } else if (!hasPinboards && pinboardsShown) {
                removeMenu(pinboardsMenu)
                pinboardsShown = false
            }
            popup()
        }
        property bool pinboardsShown: true
        PanelMenuItem { theme: panelTheme; text: "Paste"; onTriggered: root.model.pasteItem(cardMenu.itemID) }
        PanelMenuItem { theme: panelTheme; text: "Copy Only"; onTriggered: root.model.copyOnlyItem(cardMenu.itemID) }
        PanelMenuItem {
            theme: panelTheme
            text: "Edit\u2026"
            visible: cardMenu.kind === "text" || cardMenu.kind === "link" || cardMenu.kind === "color"
            height: visible ? implicitHeight : 0
            // The card may hold only the start of a long text: the editor gets it whole.
            onTriggered: root.openEditor({ create: false, itemID: cardMenu.itemID, text: root.model.wholeTextOf(cardMenu.itemID), trigger: cardMenu.itemTrigger })
        }
        MenuSeparator { contentItem: Rectangle { implicitHeight: 1; color: panelTheme.controlOutline } }
        PanelMenuItem {
            theme: panelTheme
            text: "No pinboards yet"
            enabled: false
            visible: pinboardTabs.count === 0
            height: visible ? implicitHeight : 0
        }
        PanelMenu {
            id: pinboardsMenu
            title: "Pinboards"
            theme: panelTheme
            Instantiator {
                model: root.model.pinboards
                delegate: PanelMenuItem {
                    required property var pinboardID
                    required property string name
                    theme: panelTheme
                    text: name
                    checkable: true
                    checked: cardMenu.filedOn.indexOf(pinboardID) >= 0
                    onTriggered: root.model.toggleFilingOf(cardMenu.itemID, pinboardID)
                }
                onObjectAdded: (index, object) => pinboardsMenu.insertItem(index, object)
                onObjectRemoved: (index, object) => pinboardsMenu.removeItem(object)
            }
        }
        MenuSeparator { contentItem: Rectangle { implicitHeight: 1; color: panelTheme.controlOutline } }
        PanelMenuItem {
            theme: panelTheme
            text: "Delete"
            destructive: true
            onTriggered: root.model.deleteItemWithID(cardMenu.itemID)
        }
    }

    Popup {
        id: namingPopup
        objectName: "namingPopup"
        x: Math.min(tabStrip.x + tabRow.width, root.width - width - 12)
        y: 44
        padding: 14
        focus: true
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
        onOpened: namingField.forceActiveFocus()
        onClosed: root.focusSearch()
        background: Rectangle {
            radius: 10
            color: panelTheme.popupBackground
            border.width: 1
            border.color: panelTheme.controlOutline
        }
        contentItem: Column {
            spacing: 8
            Text {
                text: "New Pinboard"
                font.pixelSize: 14
                font.weight: Font.DemiBold
                color: panelTheme.primaryInk
            }
            Row {
                spacing: 8
                TextField {
                    id: namingField
                    objectName: "namingField"
                    width: 180
                    placeholderText: "Name"
                    placeholderTextColor: panelTheme.placeholderInk
                    color: panelTheme.primaryInk
                    font.pixelSize: 13
                    leftPadding: 6
                    background: Rectangle {
                        radius: 5
                        color: panelTheme.cardBackground
                        border.width: 1
                        border.color: namingField.activeFocus ? panelTheme.selectionRing : panelTheme.controlOutline
                    }
                    onAccepted: root.createPinboardFromPopover()
                }
                PanelButton {
                    text: "Create"
                    prominent: true
                    theme: panelTheme
                    onClicked: root.createPinboardFromPopover()
                }
            }
        }
    }

    // Dims the panel under the snippet editor and keeps clicks from reaching it.
    Rectangle {
        anchors.fill: parent
        radius: 16
        color: Qt.rgba(0, 0, 0, panelTheme.dark ? 0.4 : 0.22)
        visible: root.editorMode !== null
        z: 20
        MouseArea { anchors.fill: parent; hoverEnabled: true; acceptedButtons: Qt.AllButtons }
    }

    Popup {
        id: editorPopup
        objectName: "editorPopup"
        anchors.centerIn: parent
        modal: false
        dim: false
        focus: true
        padding: 0
        closePolicy: Popup.NoAutoClose
        background: Rectangle {
            radius: 12
            color: panelTheme.popupBackground
            border.width: 1
            border.color: panelTheme.controlOutline
        }
        onOpened: if (editorLoader.item) editorLoader.item.focusText()
        onClosed: {
            root.editorMode = null
            root.focusSearch()
        }
        contentItem: Loader {
            id: editorLoader
            active: root.editorMode !== null
            focus: true
            sourceComponent: SnippetEditor {
                objectName: "snippetEditor"
                model: root.model
                theme: panelTheme
                mode: root.editorMode
                focus: true
                onFinished: root.finishEditor()
            }
        }
    }
}
