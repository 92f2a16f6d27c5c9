#include "eventloopwait.h"
#include "paneltestsupport.h"
#include "platform/pasteboardtypes.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace corvane::test {
namespace {

class HistoryModelTest : public PanelTest
{
protected:
    // Six text items, "one" newest: positions 0 to 5 hold "one" to "six".
    std::vector<ClipItem> addSix()
    {
        std::vector<ClipItem> added;
        int second = 0;
        for (const char *text : { "six", "five", "four", "three", "two", "one" })
            added.insert(added.begin(), addText(QString::fromLatin1(text), second++));
        model->reload();
        return added;
    }
    // A new pinboard holding the items given, and the model reloaded to show it.
    std::int64_t pinboardWith(const QString &name, std::initializer_list<ClipItem> items)
    {
        const std::int64_t board = addPinboard(name);
        for (const ClipItem &item : items)
            store->addItem(board, item.id);
        model->reload();
        return board;
    }
    std::set<std::int64_t> idsAt(std::initializer_list<int> positions) const
    {
        std::set<std::int64_t> ids;
        for (int position : positions)
            ids.insert(model->items().at(static_cast<std::size_t>(position)).id);
        return ids;
    }
};

TEST_F(HistoryModelTest, AnEmptyHistoryHasNoSelectionAndNothingToActOn)
{
    int dismissed = 0;
    model->onDismiss = [&] { ++dismissed; };
    EXPECT_TRUE(model->items().empty());
    EXPECT_FALSE(model->selectedItem());
    EXPECT_TRUE(model->selectedItems().empty());
    model->select(3);
    EXPECT_EQ(model->selectedIndex(), 0);
    EXPECT_FALSE(model->selectItem(1));
    model->paste();
    model->pasteAlternate();
    EXPECT_EQ(dismissed, 0);
    EXPECT_EQ(pasteboard.changeCount(), 0);
}

TEST_F(HistoryModelTest, RangeSelectionAndMarksFollowTheAnchor)
{
    addSix();
    model->select(2);
    model->select(5, true);
    EXPECT_EQ(model->selectedIndex(), 5);
    EXPECT_EQ(model->anchorIndex(), 2);
    EXPECT_EQ(model->markedIDs(), idsAt({ 2, 3, 4, 5 }));
    EXPECT_EQ(model->selectedItems().size(), 4u);
    EXPECT_EQ(model->selectedItems().front().id, model->items()[2].id);

    // Back onto the anchor: a single selection again.
    model->select(2, true);
    EXPECT_TRUE(model->markedIDs().empty());
    EXPECT_EQ(model->anchorIndex(), 2);

    // A plain move re-anchors.
    model->select(4, true);
    model->select(0);
    EXPECT_EQ(model->anchorIndex(), 0);
    EXPECT_TRUE(model->markedIDs().empty());

    // Out-of-range targets clamp.
    model->select(99);
    EXPECT_EQ(model->selectedIndex(), 5);
    model->select(-4);
    EXPECT_EQ(model->selectedIndex(), 0);

    // Card numbers count from one.
    EXPECT_FALSE(model->selectItem(0));
    EXPECT_FALSE(model->selectItem(7));
    EXPECT_EQ(model->selectItem(2)->id, model->items()[1].id);
    EXPECT_EQ(model->selectedIndex(), 1);
}

TEST_F(HistoryModelTest, CommandClickMarksPairsAndUnmarkingTheSecondLastLeavesASingleSelection)
{
    const auto items = addSix();
    model->select(0);
    model->toggleMark(items[3]);
    EXPECT_EQ(model->markedIDs(), idsAt({ 0, 3 }));
    EXPECT_EQ(model->selectedIndex(), 3);
    EXPECT_EQ(model->anchorIndex(), 3);

    model->toggleMark(items[0]);
    EXPECT_TRUE(model->markedIDs().empty());
    EXPECT_EQ(model->selectedIndex(), 0);
    EXPECT_EQ(model->selectedItem()->id, items[0].id);

    // Shift-click extends from the clicked card.
    model->extendSelection(items[2]);
    EXPECT_EQ(model->markedIDs(), idsAt({ 0, 1, 2 }));
    EXPECT_TRUE(model->isHighlighted(items[1]));
    EXPECT_FALSE(model->isHighlighted(items[4]));
}

TEST_F(HistoryModelTest, AShorterReloadClampsTheSelectionAndClearsMarksOnlyWhenItMoves)
{
    const auto items = addSix();
    model->select(1);
    model->select(3, true);
    ASSERT_EQ(model->markedIDs().size(), 3u);

    // Same list, same index: the marks stay.
    model->reload();
    EXPECT_EQ(model->markedIDs().size(), 3u);

    store->deleteItems({ items[2].id, items[3].id, items[4].id, items[5].id });
    model->reload();
    EXPECT_EQ(model->selectedIndex(), 1);
    EXPECT_TRUE(model->markedIDs().empty());
}

TEST_F(HistoryModelTest, SearchFilterAndTabChangesGoBackToTheFirstCard)
{
    addSix();
    const std::vector<std::function<void()>> changes = {
        [&] { model->setSearch(QStringLiteral("o")); },
        [&] { model->setSearch(QStringLiteral("o")); }, // the same text resets too
        [&] { model->toggleKind(ClipKind::text); },
        [&] { model->toggleSource(QStringLiteral("org.example.Editor")); },
        [&] { model->clearFilters(); },
        [&] { model->setSelectedPinboardID(std::nullopt); },
    };
    for (const auto &change : changes) {
        model->setSearch(QString());
        model->select(4);
        model->toggleMark(model->items()[1]);
        ASSERT_FALSE(model->markedIDs().empty());
        change();
        EXPECT_EQ(model->selectedIndex(), 0);
        EXPECT_TRUE(model->markedIDs().empty());
    }
    model->setSearch(QStringLiteral("fiv"));
    ASSERT_EQ(model->items().size(), 1u);
    EXPECT_EQ(model->items()[0].title, QStringLiteral("five"));
}

TEST_F(HistoryModelTest, FiltersOnlyNotifyWhenTheyChangeAndUnknownSourcesAreDropped)
{
    addSix();
    QSignalSpy filters(model.get(), &HistoryModel::hasActiveFiltersChanged);
    QSignalSpy items(model.get(), &HistoryModel::itemsChanged);
    model->toggleSource(QStringLiteral("org.example.Gone"));
    // The source is not among the listed applications, so the reload drops it again.
    EXPECT_TRUE(model->activeSourceBundleIDs().empty());
    EXPECT_FALSE(model->hasActiveFilters());
    EXPECT_EQ(items.count(), 0); // nothing filtered, the same list
    const qsizetype filterNotices = filters.count();
    model->reload();
    EXPECT_EQ(items.count(), 0);
    EXPECT_EQ(filters.count(), filterNotices);
    // Assigning an equal value notifies nobody either.
    QSignalSpy index(model.get(), &HistoryModel::selectedIndexChanged);
    QSignalSpy target(model.get(), &HistoryModel::pasteTargetChanged);
    model->setSelectedIndex(0);
    model->setPasteTarget(std::nullopt);
    EXPECT_EQ(target.count(), 0);
    model->setSelectedIndex(2);
    EXPECT_EQ(index.count(), 1);

    model->toggleKind(ClipKind::link);
    EXPECT_TRUE(model->items().empty());
    EXPECT_EQ(items.count(), 1);
    EXPECT_EQ(filters.count(), filterNotices + 1);
    EXPECT_EQ(model->sourceName(QStringLiteral("org.example.Editor")), QStringLiteral("Editor"));
    EXPECT_EQ(model->sourceName(QStringLiteral("x.y")), QStringLiteral("x.y"));
}

TEST_F(HistoryModelTest, TheClipboardTabHidesFiledItemsAndAPinboardTabShowsOnlyItsOwn)
{
    const auto items = addSix();
    const auto board = pinboardWith(QStringLiteral("Work"), { items[1] });
    EXPECT_EQ(model->items().size(), 5u);
    EXPECT_FALSE(model->itemWithID(items[1].id));

    EXPECT_TRUE(model->selectPinboard(1));
    EXPECT_EQ(model->selectedPinboardID(), board);
    ASSERT_EQ(model->items().size(), 1u);
    EXPECT_EQ(model->items()[0].id, items[1].id);

    EXPECT_FALSE(model->selectPinboard(2));
    EXPECT_EQ(model->selectedPinboardID(), board);
    EXPECT_TRUE(model->selectPinboard(0));
    EXPECT_FALSE(model->selectedPinboardID());

    // A pinboard deleted elsewhere sends the panel back to the Clipboard tab.
    model->selectPinboard(1);
    store->removeItem(items[1].id, board);
    store->deletePinboard(board);
    model->reload();
    EXPECT_FALSE(model->selectedPinboardID());
    EXPECT_EQ(model->items().size(), 6u);
}

TEST_F(HistoryModelTest, PresentingKeepsTheTabAndFiltersAndEmptiesTheSearch)
{
    const auto items = addSix();
    const auto board = pinboardWith(QStringLiteral("Work"), { items[0], items[1] });
    model->selectPinboard(1);
    model->toggleKind(ClipKind::text);
    model->setSearch(QStringLiteral("tw"));
    QSignalSpy presented(model.get(), &HistoryModel::presentationCountChanged);

    const RunningApplication editor { QStringLiteral("org.example.Editor"), QStringLiteral("Ed") };
    model->prepareForPresentation(editor);
    EXPECT_EQ(model->pasteTarget(), editor);
    EXPECT_EQ(model->selectedPinboardID(), board);
    EXPECT_EQ(model->activeKinds(), std::set<ClipKind> { ClipKind::text });
    EXPECT_TRUE(model->search().isEmpty());
    EXPECT_EQ(model->items().size(), 2u);
    EXPECT_EQ(model->selectedIndex(), 0);
    EXPECT_EQ(model->presentationCount(), 1);
    EXPECT_EQ(presented.count(), 1);
}

TEST_F(HistoryModelTest, ListModelsStayConsistentAndAreNeverReset)
{
    QAbstractItemModelTester itemsTester(
        model->itemsModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester boardsTester(
        model->pinboardsModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto items = addSix();
    pinboardWith(QStringLiteral("Work"), {});
    QSignalSpy resets(model->itemsModel(), &QAbstractItemModel::modelReset);
    QSignalSpy boardResets(model->pinboardsModel(), &QAbstractItemModel::modelReset);
    model->reload();
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(boardResets.count(), 0);

    QSignalSpy highlight(model->itemsModel(), &QAbstractItemModel::dataChanged);
    model->select(3);
    EXPECT_GE(highlight.count(), 1);
    // The cards' own values are the list model's test; the view requires them by role name.
    EXPECT_TRUE(model->itemsModel()->index(3).data(ClipListModel::IsHighlightedRole).toBool());
    EXPECT_EQ(model->pinboardsModel()->index(0).data(PinboardListModel::NameRole).toString(),
        QStringLiteral("Work"));

    store->deleteItems({ items[0].id });
    model->reload();
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(model->itemsModel()->rowCount(), 5);
}

// Pasting.

TEST_F(HistoryModelTest, PasteCopyAndAlternateFollowBothPreferences)
{
    ClipCandidate link;
    link.kind = ClipKind::link;
    link.text = QByteArray("https://example.com/a");
    link.title = QStringLiteral("Example");
    const ClipItem item = addItem(link, 1);
    model->reload();

    enum class Action { paste, copyOnly, pasteAlternate };
    struct Case
    {
        Action action;
        bool pastesOnSelect;
        bool pastesPlainText;
        bool posts;
        bool withURL;
    };
    const Case cases[] = {
        { Action::paste, true, false, true, true },
        { Action::paste, true, true, true, false },
        { Action::paste, false, false, false, true },
        { Action::paste, false, true, false, false },
        { Action::copyOnly, true, false, false, true },
        { Action::copyOnly, true, true, false, false },
        { Action::copyOnly, false, false, false, true },
        { Action::copyOnly, false, true, false, false },
        { Action::pasteAlternate, true, false, true, false },
        { Action::pasteAlternate, true, true, true, true },
        { Action::pasteAlternate, false, false, true, false },
        { Action::pasteAlternate, false, true, true, true },
    };
    int warned = 0;
    int dismissed = 0;
    model->onWillWritePasteboard = [&] { ++warned; };
    model->onDismiss = [&] { ++dismissed; };
    const std::function<void()> actions[] = { [&] { model->paste(); },
        [&] { model->copyOnly(item); }, [&] { model->pasteAlternate(); } };
    model->setPasteTarget(RunningApplication { QStringLiteral("org.example.Editor"), {} });
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        preferences->setPastesOnSelect(c.pastesOnSelect);
        preferences->setPastesPlainText(c.pastesPlainText);
        keystrokes.posted.clear();
        keystrokes.activated.clear();
        pasteboard.clearContents();
        const int warnedBefore = warned;
        actions[static_cast<int>(c.action)]();
        EXPECT_EQ(warned, warnedBefore + 1);
        EXPECT_EQ(clipboardData(pasteboardtype::plainText()), QByteArray("https://example.com/a"));
        EXPECT_EQ(clipboardTypes().contains(pasteboardtype::uriList()), c.withURL);
        EXPECT_TRUE(keystrokes.posted.empty()); // not before the delay
        scheduler.advance(Paster::pasteDelay);
        EXPECT_EQ(keystrokes.posted.size(), c.posts ? 1u : 0u);
        EXPECT_EQ(keystrokes.activated.size(), c.posts ? 1u : 0u);
    }
    EXPECT_EQ(dismissed, 12);

    // Where no keystroke may be posted, a paste writes the item and the panel stays, saying
    // that the user pastes; a copy closes it as before.
    trusted = false;
    preferences->setPastesOnSelect(true);
    keystrokes.posted.clear();
    model->paste();
    scheduler.advance(Paster::pasteDelay);
    EXPECT_TRUE(keystrokes.posted.empty());
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), QByteArray("https://example.com/a"));
    EXPECT_EQ(model->actionError(), QStringLiteral("Copied — press Ctrl+V to paste"));
    EXPECT_EQ(dismissed, 12);
    model->copyOnly(item);
    EXPECT_EQ(dismissed, 13);
}

// A card holds only the start of a long text; whatever writes the text (pasting, copying,
// dragging, the editor) reads it whole, and the card counts the whole text's characters.
TEST_F(HistoryModelTest, ALongTextListedByItsStartIsWrittenWhole)
{
    // Marked letters, so counting characters differs from counting bytes or code units.
    const QString longText
        = QStringLiteral("e\u0301x").repeated(HistoryModel::cardTextByteLimit / 2);
    const ClipItem item = addText(longText, 1);
    model->reload();
    ASSERT_EQ(model->items().size(), 1u);
    EXPECT_TRUE(model->items().front().isTextPartial);
    EXPECT_LE(model->items().front().text->size(), HistoryModel::cardTextByteLimit);

    model->copyOnly();
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), longText.toUtf8());
    EXPECT_EQ(model->wholeTextOf(item.id).toString(), longText);
    const QModelIndex card = model->itemsModel()->index(0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return card.data(ClipListModel::CharacterCountRole).isValid(); }, 10000));
    EXPECT_EQ(
        card.data(ClipListModel::CharacterCountRole).toInt(), HistoryModel::cardTextByteLimit);
}

TEST_F(HistoryModelTest, ThreeMarkedItemsArePastedJoinedAndComeToTheTopInTheirOrder)
{
    addSix();
    model->select(2);
    model->select(4, true); // three, four, five
    const auto chosen = model->selectedItems();
    ASSERT_EQ(chosen.size(), 3u);
    model->paste(model->items()[3]); // a marked card acts on all marked cards
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), QByteArray("three\nfour\nfive"));
    model->reload();
    const auto ids = itemIDs();
    EXPECT_EQ(std::vector<std::int64_t>(ids.begin(), ids.begin() + 3),
        (std::vector<std::int64_t> { chosen[0].id, chosen[1].id, chosen[2].id }));

    // An unmarked card acts alone even while others are marked.
    model->select(3);
    model->select(5, true);
    model->copyOnly(model->items()[0]);
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), QByteArray("three"));
}

// Items and pinboards.

TEST_F(HistoryModelTest, DeletingKeepsThePositionOrFallsBackToTheNewLastCard)
{
    addSix();
    model->select(5);
    model->deleteItem(*model->selectedItem());
    EXPECT_EQ(model->items().size(), 5u);
    EXPECT_EQ(model->selectedIndex(), 4);
    model->select(1);
    model->deleteItem(*model->selectedItem());
    EXPECT_EQ(model->selectedIndex(), 1);
    EXPECT_EQ(model->selectedItem()->title, QStringLiteral("three"));
    while (!model->items().empty())
        model->deleteItem(model->items().back());
    EXPECT_EQ(model->selectedIndex(), 0);
}

TEST_F(HistoryModelTest, MovingPinboardsClampsAndTheFirstMovedLeftTouchesNothing)
{
    const auto a = addPinboard(QStringLiteral("A"));
    const auto b = addPinboard(QStringLiteral("B"));
    const auto c = addPinboard(QStringLiteral("C"));
    model->reload();
    const auto generation = store->generation();
    model->movePinboardBy(a, -1);
    model->movePinboardBy(c, +1);
    model->movePinboard(b, 1);
    EXPECT_EQ(store->generation(), generation);

    const auto order = [](const std::vector<Pinboard> &pinboards) {
        std::vector<std::int64_t> ids;
        for (const Pinboard &p : pinboards)
            ids.push_back(p.id);
        return ids;
    };
    model->movePinboard(a, 99);
    EXPECT_EQ(order(model->pinboards()), (std::vector<std::int64_t> { b, c, a }));
    model->movePinboardBy(a, -1);
    EXPECT_EQ(order(store->pinboards()), (std::vector<std::int64_t> { b, a, c }));
}

TEST_F(HistoryModelTest, PinboardsAreCreatedTrimmedAndFilledAndTheShownOneDeleted)
{
    const auto items = addSix();
    model->createPinboard(QStringLiteral("  \n "));
    EXPECT_TRUE(model->pinboards().empty());
    model->createPinboard(QStringLiteral("  Work \n"), items[0]);
    ASSERT_EQ(model->pinboards().size(), 1u);
    EXPECT_EQ(model->pinboards()[0].name, QStringLiteral("Work"));
    EXPECT_FALSE(model->selectedPinboardID());
    EXPECT_EQ(store->pinboardIDs(items[0].id), std::set<std::int64_t> { model->pinboards()[0].id });
    EXPECT_FALSE(model->itemWithID(items[0].id));

    model->toggleFiling(items[1], model->pinboards()[0].id);
    EXPECT_EQ(model->pinboards()[0].itemCount, 2);
    model->toggleFiling(items[1], model->pinboards()[0].id);
    EXPECT_EQ(model->pinboards()[0].itemCount, 1);

    // Deleting the shown pinboard returns to the Clipboard tab.
    model->selectPinboard(1);
    model->deletePinboard(model->pinboards()[0].id);
    EXPECT_FALSE(model->selectedPinboardID());
    EXPECT_TRUE(model->pinboards().empty());
    EXPECT_EQ(model->items().size(), 6u);
}

// Snippets.

TEST_F(HistoryModelTest, SnippetsTakeTheirKindTitleAndSubtitleFromTheText)
{
    const auto board = pinboardWith(QStringLiteral("Snippets"), {});
    struct Case
    {
        QString text;
        ClipKind kind;
        QString title;
        std::optional<QString> subtitle;
    };
    const Case cases[] = {
        { QStringLiteral(" https://example.com/x "), ClipKind::link,
            QStringLiteral("https://example.com/x"), std::nullopt },
        { QStringLiteral("#a1b2c3"), ClipKind::color, QStringLiteral("#a1b2c3"), std::nullopt },
        { QStringLiteral("\tFirst \n\n third"), ClipKind::text, QStringLiteral("First"),
            QStringLiteral("third") },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        ASSERT_TRUE(model->createSnippet(c.text, QString(), board));
        const auto recorded = store->itemWithFingerprint(fingerprint(c.kind, c.text, {}));
        ASSERT_TRUE(recorded);
        EXPECT_EQ(recorded->text, c.text);
        EXPECT_EQ(recorded->title, c.title);
        EXPECT_EQ(recorded->subtitle, c.subtitle);
        EXPECT_EQ(recorded->sourceAppName, QStringLiteral("Corvane"));
        EXPECT_EQ(recorded->byteCount, c.text.toUtf8().size());
    }
    EXPECT_FALSE(model->createSnippet(QStringLiteral(" \n\t"), QString(), board));
    EXPECT_FALSE(model->snippetError());
}

TEST_F(HistoryModelTest, ASnippetWhoseTriggerIsTakenIsRecordedWithoutTriggerAndReportsWhy)
{
    const auto board = pinboardWith(QStringLiteral("Snippets"), {});
    ASSERT_TRUE(
        model->createSnippet(QStringLiteral("Kind regards"), QStringLiteral(" kr "), board));
    EXPECT_EQ(store->itemWithTrigger(QStringLiteral("kr"))->text, QStringLiteral("Kind regards"));

    EXPECT_FALSE(model->createSnippet(QStringLiteral("Best wishes"), QStringLiteral("kr"), board));
    EXPECT_EQ(
        model->snippetError(), ClipStoreError::triggerTaken(QStringLiteral("kr")).fullMessage());
    const auto second = store->itemWithFingerprint(
        fingerprint(ClipKind::text, QStringLiteral("Best wishes"), {}));
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->trigger);
    EXPECT_EQ(store->itemWithTrigger(QStringLiteral("kr"))->text, QStringLiteral("Kind regards"));

    // The next snippet operation starts without the old message.
    EXPECT_TRUE(
        model->updateSnippet(*second, QStringLiteral("Best wishes!"), QStringLiteral("bw")));
    EXPECT_FALSE(model->snippetError());
    EXPECT_EQ(store->item(second->id)->trigger, QStringLiteral("bw"));
    EXPECT_FALSE(model->updateSnippet(*second, QStringLiteral("x"), QStringLiteral("a b")));
    EXPECT_EQ(model->snippetError(), ClipStoreError::spacedTrigger().fullMessage());
    model->clearSnippetError();
    EXPECT_FALSE(model->snippetError());
}

// Messages and their lifetimes.

TEST_F(HistoryModelTest, EachActionErrorLivesItsFullFiveSeconds)
{
    model->showActionError(QStringLiteral("first"));
    scheduler.advance(3s);
    model->showActionError(QStringLiteral("second"));
    scheduler.advance(2s + 100ms); // the first error's clearing has run and found a newer token
    EXPECT_EQ(model->actionError(), QStringLiteral("second"));
    scheduler.advance(2800ms);
    EXPECT_EQ(model->actionError(), QStringLiteral("second"));
    scheduler.advance(100ms);
    EXPECT_FALSE(model->actionError());
    EXPECT_EQ(model->actionErrorToken(), 2);

    model->showActionError(QStringLiteral("third"));
    model->dismissActionError();
    EXPECT_FALSE(model->actionError());
    model->showActionError(QStringLiteral("fourth"));
    scheduler.advance(4s);
    EXPECT_EQ(model->actionError(), QStringLiteral("fourth"));
}

TEST_F(HistoryModelTest, RefusedFilingsShowTheShortMessageAndEachLivesItsFullTime)
{
    const auto items = addSix();
    pinboardWith(QStringLiteral("Snippets"), { items[0], items[1] });
    store->setTrigger(items[0].id, QStringLiteral("aa"));
    store->setTrigger(items[1].id, QStringLiteral("bb"));
    model->reload();
    model->selectPinboard(1);

    const auto dragOntoClipboard = [&](const ClipItem &item) {
        model->beginDrag(item);
        return model->dropDraggedItems(std::optional<std::int64_t>());
    };
    EXPECT_FALSE(dragOntoClipboard(items[0]));
    EXPECT_EQ(model->cardRefusal(),
        (CardRefusal { items[0].id,
            ClipStoreError::triggerStrandedByUnfiling(QStringLiteral("aa")).shortMessage() }));
    EXPECT_FALSE(model->departingItemID());
    EXPECT_EQ(model->items().size(), 2u);

    scheduler.advance(2s);
    EXPECT_FALSE(dragOntoClipboard(items[1]));
    scheduler.advance(2500ms);
    ASSERT_TRUE(model->cardRefusal());
    EXPECT_EQ(model->cardRefusal()->itemID, items[1].id);
    scheduler.advance(100ms);
    EXPECT_FALSE(model->cardRefusal());
}

// Dragging and filing.

TEST_F(HistoryModelTest, DropsOntoTheShownTabAreRefusedAndTwoCardsDroppedElsewhereMove)
{
    const auto items = addSix();
    const auto a = pinboardWith(QStringLiteral("A"), { items[0], items[1] });
    const auto b = pinboardWith(QStringLiteral("B"), {});
    model->beginDrag(model->items()[0]);
    EXPECT_FALSE(model->dropDraggedItems(std::optional<std::int64_t>()));
    model->selectPinboard(1);
    model->beginDrag(model->items()[0]);
    EXPECT_FALSE(model->dropDraggedItems(a));
    EXPECT_EQ(store->pinboardIDs(items[0].id), std::set<std::int64_t> { a });
    EXPECT_FALSE(model->recentlyFiledPinboardID());
    EXPECT_FALSE(model->departingItemID());

    // Two marked cards dropped on another pinboard move there, and its tab flashes.
    model->select(0);
    model->select(1, true);

    const std::int64_t shownFirst = model->items()[0].id;
    const std::int64_t shownSecond = model->items()[1].id;
    model->beginDrag(model->items()[1]);
    EXPECT_EQ(model->draggedItemIDs(), (std::vector<std::int64_t> { shownFirst, shownSecond }));
    EXPECT_EQ(model->draggedPrimaryID(), shownSecond);
    EXPECT_TRUE(model->dropDraggedItems(b));
    EXPECT_FALSE(model->isDraggingItem());
    EXPECT_TRUE(model->draggedItemIDs().empty());
    EXPECT_TRUE(model->markedIDs().empty());
    EXPECT_EQ(store->pinboardIDs(items[0].id), std::set<std::int64_t> { b });
    EXPECT_EQ(store->pinboardIDs(items[1].id), std::set<std::int64_t> { b });
    EXPECT_EQ(model->recentlyFiledPinboardID(), b);
    // The last card is filed first, so the first one is the card still departing.
    EXPECT_EQ(model->departingItemID(), shownFirst);
    EXPECT_EQ(model->items().size(), 2u); // the list waits for the card to animate away

    scheduler.advance(HistoryModel::departureDuration);
    EXPECT_FALSE(model->departingItemID());
    EXPECT_TRUE(model->items().empty());
    scheduler.advance(HistoryModel::filedFlashDuration - HistoryModel::departureDuration);
    EXPECT_FALSE(model->recentlyFiledPinboardID());
}

// The drag poll ends a drag on Escape, reporting the cancellation last, or once the button
// is released; then it stops, and a later drop is refused.
TEST_F(HistoryModelTest, TheDragPollEndsADragOnEscapeOrOnceTheButtonIsReleased)
{
    addSix();
    QStringList calls;
    model->onDragStarted = [&] { calls << QStringLiteral("started"); };
    model->onWillWritePasteboard = [&] { calls << QStringLiteral("willWrite"); };
    model->onDragEnded = [&] { calls << QStringLiteral("ended"); };
    model->onDragCancelled = [&] { calls << QStringLiteral("cancelled"); };
    model->beginDrag(model->items()[2]);
    scheduler.advance(HistoryModel::dragPollInterval * 3);
    EXPECT_TRUE(model->isDraggingItem());
    input.escapeKeyDown = true;
    scheduler.advance(HistoryModel::dragPollInterval);
    EXPECT_EQ(calls, QStringLiteral("started willWrite ended cancelled").split(u' '));
    EXPECT_FALSE(model->isDraggingItem());
    EXPECT_TRUE(model->draggedItemIDs().empty());
    model->cancelDrag(); // nothing to cancel any more
    EXPECT_EQ(calls.size(), 4u);

    input.escapeKeyDown = false;
    calls.clear();
    model->beginDrag(model->items()[0]);
    EXPECT_TRUE(model->isDragPollRunning());
    input.mouseButtonPressed = false;
    scheduler.advance(HistoryModel::dragPollInterval);
    EXPECT_FALSE(model->isDraggingItem());
    EXPECT_FALSE(model->isDragPollRunning());
    EXPECT_EQ(calls, QStringLiteral("started willWrite ended").split(u' '));
    EXPECT_EQ(scheduler.pending(), 0u);
    EXPECT_FALSE(model->dropDraggedItems(std::optional<std::int64_t>(1)));
}

TEST_F(HistoryModelTest, DraggingMarkedTextCardsCarriesTheirJoinedTextsAndTheMarker)
{
    addSix();
    model->select(0);
    model->select(2, true);
    const DragItemProvider many = model->beginDrag(model->items()[1]);
    EXPECT_EQ(many.mimeData->text(), QStringLiteral("one\ntwo\nthree"));
    EXPECT_EQ(many.mimeData->data(itemMarkerType()),
        QByteArray::number(static_cast<qlonglong>(model->items()[1].id)));
    model->endDrag(false);

    // An unmarked card drags alone, with its own representations.
    model->select(0);
    model->select(2, true);
    const DragItemProvider one = model->beginDrag(model->items()[4]);
    EXPECT_EQ(model->draggedItemIDs(), std::vector<std::int64_t> { model->items()[4].id });
    EXPECT_EQ(one.mimeData->text(), QStringLiteral("five"));
}

// Searches in the background, over a second connection to the same file.

class BackgroundSearchTest : public HistoryModelTest
{
protected:
    void SetUp() override
    {
        HistoryModelTest::SetUp();
        background = std::make_unique<HistorySearch>(store->directory());
        model = std::make_unique<HistoryModel>(
            *store, *preferences, *paster, scheduler, input, background.get());
    }
    void TearDown() override
    {
        HistoryModelTest::TearDown();
        background.reset();
    }
    QStringList titles() const
    {
        QStringList shown;
        for (const ClipItem &item : model->items())
            shown << item.title;
        return shown;
    }
    bool answered() const
    {
        return spinUntil([this] { return !model->isAwaitingItems(); });
    }

    std::unique_ptr<HistorySearch> background;
};

TEST_F(BackgroundSearchTest, TheListKeepsItsRowsUntilTheNewestSearchIsAnsweredAndOnlyThatLands)
{
    addSix();
    const std::vector<std::int64_t> all = itemIDs();
    for (const char *typed : { "t", "tw", "two" })
        model->setSearch(QString::fromLatin1(typed));
    EXPECT_TRUE(model->isAwaitingItems());
    EXPECT_EQ(itemIDs(), all);
    ASSERT_TRUE(answered());
    EXPECT_EQ(titles(), QStringList { QStringLiteral("two") });
    spinFor(100ms);
    EXPECT_EQ(titles(), QStringList { QStringLiteral("two") });

    // Emptying the search goes back to the whole list; the search in flight never lands.
    model->setSearch(QStringLiteral("f"));
    model->setSearch(QString());
    ASSERT_TRUE(answered());
    EXPECT_EQ(itemIDs(), all);
    spinFor(100ms);
    EXPECT_EQ(itemIDs(), all);
}

TEST_F(BackgroundSearchTest, ActingOnTheSelectionRightAfterTypingActsOnWhatWasTyped)
{
    addSix();
    model->setSearch(QStringLiteral("four"));
    model->copyOnly();
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), QByteArray("four"));

    model->setSearch(QStringLiteral("t"));
    const std::optional<ClipItem> second = model->selectItem(2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->title, QStringLiteral("three"));
    spinFor(100ms);
    EXPECT_EQ(titles(), (QStringList { QStringLiteral("two"), QStringLiteral("three") }));
}

TEST_F(BackgroundSearchTest, SourceApplicationsArriveAndAFilterOnAGoneSourceIsDropped)
{
    addSix();
    ClipCandidate mailed;
    mailed.kind = ClipKind::text;
    mailed.title = QStringLiteral("from the mail");
    mailed.text = mailed.title.toUtf8();
    mailed.byteCount = mailed.text->size();
    mailed.sourceBundleID = QStringLiteral("org.example.Mail");
    const ClipItem item = addItem(mailed, 10);
    model->reload();
    ASSERT_TRUE(spinUntil([this] { return model->sourceApps().size() == 2; }));
    model->toggleSource(QStringLiteral("org.example.Mail"));
    ASSERT_EQ(titles(), QStringList { QStringLiteral("from the mail") });

    store->deleteItems({ item.id });
    model->reload();
    ASSERT_TRUE(spinUntil([this] { return model->activeSourceBundleIDs().empty(); }));
    EXPECT_EQ(model->items().size(), 6u);
}

} // namespace
} // namespace corvane::test
