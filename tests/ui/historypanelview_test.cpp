#include "panel/dragitemprovider.h"
#include "panelfixture.h"
#include "ui/appearance.h"
#include "ui/tabdragstate.h"
#include "ui/tabdropdelegate.h"

#include <QDateTime>
#include <QQuickItem>
#include <QTest>

#include <functional>
#include <gtest/gtest.h>

namespace corvane::test {
namespace {

// The real panel view in a window on the X server over a store with three texts (newest
// first: gamma, beta, alpha) and two empty pinboards; keys and clicks go to the window.
class PanelViewTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        qputenv("CORVANE_APPEARANCE", "light");
        panel = std::make_unique<PanelFixture>();
        ASSERT_NE(panel->view, nullptr);
        alpha = panel->addText(QStringLiteral("alpha"), 3);
        beta = panel->addText(QStringLiteral("beta"), 2);
        gamma = panel->addText(QStringLiteral("gamma"), 1);
        work = panel->addPinboard(QStringLiteral("Work"), 0);
        home = panel->addPinboard(QStringLiteral("Home"), 1);
        panel->model->reload();
        ASSERT_TRUE(panel->show());
    }

    void key(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(panel->window.get(), Qt::Key(key), modifiers);
        panel->settle(30);
    }
    void click(QQuickItem *item, Qt::KeyboardModifiers modifiers = {},
        Qt::MouseButton button = Qt::LeftButton)
    {
        ASSERT_NE(item, nullptr);
        QTest::mouseClick(panel->window.get(), button, modifiers,
            item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
        // A menu opens more slowly than a click lands.
        panel->settle(button == Qt::RightButton ? 300 : 50);
    }
    void rightClick(QQuickItem *item) { click(item, {}, Qt::RightButton); }
    QString clipboardText() const
    {
        for (const auto &[type, bytes] : panel->pasteboard.contents()) {
            if (type == QLatin1String("text/plain"))
                return QString::fromUtf8(bytes);
        }
        return {};
    }
    // The visible menu entry with this text, in whichever menu is open.
    QQuickItem *menuEntry(const QString &text) const
    {
        std::function<QQuickItem *(QQuickItem *)> search = [&](QQuickItem *item) -> QQuickItem * {
            if (item->isVisible() && item->inherits("QQuickMenuItem")
                && item->property("text").toString() == text)
                return item;
            for (QQuickItem *child : item->childItems()) {
                if (QQuickItem *found = search(child))
                    return found;
            }
            return nullptr;
        };
        return search(panel->window->contentItem()->parentItem()
                ? panel->window->contentItem()->parentItem()
                : panel->window->contentItem());
    }
    QObject *namingPopup() const
    {
        return panel->view->findChild<QObject *>(QStringLiteral("namingPopup"));
    }
    TabDropDelegate *dropHandler(const QString &tabName) const
    {
        QQuickItem *tab = panel->find(tabName);
        return tab ? tab->findChild<TabDropDelegate *>(QStringLiteral("tabDrop")) : nullptr;
    }
    QStringList pinboardNames() const
    {
        QStringList names;
        for (const Pinboard &pinboard : panel->store->pinboards())
            names << pinboard.name;
        return names;
    }

    std::unique_ptr<PanelFixture> panel;
    ClipItem alpha, beta, gamma;
    std::int64_t work = 0, home = 0;
};

TEST_F(PanelViewTest, KeyboardTable)
{
    struct Row
    {
        const char *name;
        std::function<void(PanelFixture &)> before;
        int key;
        Qt::KeyboardModifiers modifiers;
        std::function<void(PanelViewTest &)> check;
    };
    const auto none = [](PanelFixture &) {};
    const auto selectSecond = [](PanelFixture &p) { p.model->select(1); };
    const auto selects = [](int index) {
        return [index](PanelViewTest &t) { EXPECT_EQ(t.panel->model->selectedIndex(), index); };
    };
    const Row rows[] = {
        { "Right moves on", none, Qt::Key_Right, {}, selects(1) },
        { "Down moves on", none, Qt::Key_Down, {}, selects(1) },
        { "Left moves back", selectSecond, Qt::Key_Left, {}, selects(0) },
        { "Up moves back", selectSecond, Qt::Key_Up, {}, selects(0) },
        { "Ctrl+Right goes to the last", none, Qt::Key_Right, Qt::ControlModifier, selects(2) },
        { "Ctrl+Left goes to the first", [](PanelFixture &p) { p.model->select(2); }, Qt::Key_Left,
            Qt::ControlModifier, selects(0) },
        { "Shift+Right extends", none, Qt::Key_Right, Qt::ShiftModifier,
            [](PanelViewTest &t) {
                EXPECT_EQ(t.panel->model->markedIDs(),
                    (std::set<std::int64_t> { t.gamma.id, t.beta.id }));
            } },
        { "Ctrl+Shift+Right marks to the last", none, Qt::Key_Right,
            Qt::ControlModifier | Qt::ShiftModifier,
            [](PanelViewTest &t) { EXPECT_EQ(t.panel->model->markedIDs().size(), 3u); } },
        { "Return pastes the selection", selectSecond, Qt::Key_Return, {},
            [](PanelViewTest &t) {
                t.panel->settle(300);
                EXPECT_EQ(t.clipboardText(), QStringLiteral("beta"));
                EXPECT_EQ(t.panel->dismissCount, 1);
                EXPECT_EQ(t.panel->keystrokes.posted.size(), 1u);
            } },
        { "Shift+Return pastes even when selecting only copies",
            [](PanelFixture &p) { p.preferences->setPastesOnSelect(false); }, Qt::Key_Return,
            Qt::ShiftModifier,
            [](PanelViewTest &t) {
                t.panel->settle(300);
                EXPECT_EQ(t.clipboardText(), QStringLiteral("gamma"));
                EXPECT_EQ(t.panel->keystrokes.posted.size(), 1u);
            } },
        { "Delete deletes the selection", selectSecond, Qt::Key_Delete, {},
            [](PanelViewTest &t) {
                ASSERT_EQ(t.panel->model->items().size(), 2u);
                EXPECT_EQ(t.panel->model->items()[1].id, t.alpha.id);
            } },
        { "Ctrl+C copies without pasting", none, Qt::Key_C, Qt::ControlModifier,
            [](PanelViewTest &t) {
                t.panel->settle(300);
                EXPECT_EQ(t.clipboardText(), QStringLiteral("gamma"));
                EXPECT_TRUE(t.panel->keystrokes.posted.empty());
            } },
        { "Ctrl+F focuses the search", [](PanelFixture &p) { p.view->forceActiveFocus(); },
            Qt::Key_F, Qt::ControlModifier,
            [](PanelViewTest &t) {
                EXPECT_TRUE(t.panel->find(QStringLiteral("searchField"))->hasActiveFocus());
            } },
        { "Ctrl+N opens the naming popover", none, Qt::Key_N, Qt::ControlModifier,
            [](PanelViewTest &t) { EXPECT_TRUE(t.namingPopup()->property("opened").toBool()); } },
        { "Ctrl+Shift+2 shows the second pinboard", none, Qt::Key_2,
            Qt::ControlModifier | Qt::ShiftModifier,
            [](PanelViewTest &t) { EXPECT_EQ(t.panel->model->selectedPinboardID(), t.home); } },
        { "Ctrl+0 shows the clipboard", [](PanelFixture &p) { p.model->selectPinboard(1); },
            Qt::Key_0, Qt::ControlModifier,
            [](PanelViewTest &t) {
                EXPECT_EQ(t.panel->model->selectedPinboardID(), std::nullopt);
            } },
        { "Ctrl+2 pastes the second card", none, Qt::Key_2, Qt::ControlModifier,
            [](PanelViewTest &t) { EXPECT_EQ(t.clipboardText(), QStringLiteral("beta")); } },
        { "Ctrl+4 with three cards does nothing", none, Qt::Key_4, Qt::ControlModifier,
            [](PanelViewTest &t) {
                EXPECT_TRUE(t.panel->pasteboard.contents().empty());
                EXPECT_EQ(t.panel->model->selectedIndex(), 0);
            } },
        { "Ctrl+Shift+3 with two pinboards does nothing", none, Qt::Key_3,
            Qt::ControlModifier | Qt::ShiftModifier,
            [](PanelViewTest &t) {
                EXPECT_EQ(t.panel->model->selectedPinboardID(), std::nullopt);
            } },
        { "Escape hides the panel", none, Qt::Key_Escape, {},
            [](PanelViewTest &t) { EXPECT_EQ(t.panel->dismissCount, 1); } },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        row.before(*panel);
        panel->settle(30);
        key(row.key, row.modifiers);
        row.check(*this);
    }
}

TEST_F(PanelViewTest, NamingPopoverClosesAloneOnEscapeAndCreatesATrimmedPinboard)
{
    key(Qt::Key_N, Qt::ControlModifier);
    ASSERT_TRUE(namingPopup()->property("opened").toBool());
    key(Qt::Key_Escape);
    panel->settle(300);
    EXPECT_FALSE(namingPopup()->property("visible").toBool());
    EXPECT_EQ(panel->dismissCount, 0);

    click(panel->find(QStringLiteral("newPinboardButton")));
    panel->settle(300);
    panel->type(QStringLiteral("  Travel  \n"));
    panel->settle(300);
    EXPECT_EQ(pinboardNames(),
        (QStringList { QStringLiteral("Work"), QStringLiteral("Home"), QStringLiteral("Travel") }));
    EXPECT_FALSE(namingPopup()->property("visible").toBool());
    EXPECT_TRUE(panel->find(QStringLiteral("searchField"))->hasActiveFocus());
}

TEST_F(PanelViewTest, EmptyStateTexts)
{
    // A typed search with spaces around one word shows the word alone.
    panel->type(QStringLiteral(" zzz "));
    QQuickItem *text = panel->find(QStringLiteral("emptyStateText"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->property("text").toString(), QStringLiteral("Nothing matches \u201czzz\u201d"));

    struct Row
    {
        const char *search;
        bool filtered;
        bool onPinboard;
        const char *expected;
    };
    const Row rows[] = {
        { "zzz", true, false, "Nothing matches \u201czzz\u201d with these filters" },
        { "", true, false, "Nothing matches these filters" },
        { "", false, true, "This pinboard is empty" },
        { "", false, false, "Copy something and it will show up here" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.expected);
        panel->model->clearFilters();
        panel->model->setSelectedPinboardID(row.onPinboard ? std::optional(work) : std::nullopt);
        if (row.filtered)
            panel->model->toggleKind(ClipKind::image);
        if (!row.filtered && !row.onPinboard) {
            // The clipboard tab with nothing at all.
            for (const ClipItem &item : { alpha, beta, gamma })
                panel->store->deleteItems({ item.id });
        }
        panel->model->setSearch(QString::fromUtf8(row.search));
        panel->settle(50);
        EXPECT_EQ(text->property("text").toString(), QString::fromUtf8(row.expected));
        EXPECT_TRUE(panel->find(QStringLiteral("emptyState"))->isVisible());
    }
}

TEST_F(PanelViewTest, PinboardColoursWrapAroundThePalette)
{
    panel->addPinboard(QStringLiteral("Seven"), 7);
    panel->addPinboard(QStringLiteral("MinusOne"), -1);
    panel->model->reload();
    panel->settle(50);
    for (const auto &[position, paletteIndex] : { std::pair { 2, 1 }, std::pair { 3, 5 } }) {
        QQuickItem *tab = panel->find(QStringLiteral("pinboardTab-%1").arg(position));
        ASSERT_NE(tab, nullptr);
        QQuickItem *dot = tab->findChild<QQuickItem *>(QStringLiteral("colorDot"));
        ASSERT_NE(dot, nullptr);
        EXPECT_EQ(
            dot->property("color").value<QColor>(), Appearance::pinboardColor(paletteIndex, false));
    }
}

TEST_F(PanelViewTest, CardsAndTabsDroppedOnTabs)
{
    panel->file(beta, work);
    panel->model->setSelectedPinboardID(work);
    panel->settle(50);
    const QStringList formats { itemMarkerType() };

    // The tab shown refuses the card and it stays filed.
    panel->model->beginDrag(beta);
    TabDropDelegate *shown = dropHandler(QStringLiteral("pinboardTab-0"));
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->accepts(formats));
    EXPECT_FALSE(shown->perform(formats));
    EXPECT_EQ(panel->store->pinboardIDs(beta.id), (std::set<std::int64_t> { work }));

    // The Clipboard tab takes it off the pinboard.
    TabDropDelegate *clipboard = dropHandler(QStringLiteral("clipboardTab"));
    ASSERT_NE(clipboard, nullptr);
    EXPECT_TRUE(clipboard->enter(formats));
    EXPECT_EQ(panel->find(QStringLiteral("clipboardTab"))->property("highlighted").toBool(), true);
    EXPECT_TRUE(clipboard->perform(formats));
    EXPECT_TRUE(panel->store->pinboardIDs(beta.id).empty());

    // A tab dragged across two tabs reorders twice.
    panel->addPinboard(QStringLiteral("Later"), 2);
    panel->model->reload();
    panel->settle(50);
    auto *state = panel->view->findChild<TabDragState *>(QStringLiteral("dragState"));
    ASSERT_NE(state, nullptr);
    state->setDraggedPinboardID(QVariant::fromValue(qint64(work)));
    const QStringList tabFormats { pinboardMarkerType() };

    ASSERT_NE(dropHandler(QStringLiteral("pinboardTab-1")), nullptr);
    EXPECT_TRUE(dropHandler(QStringLiteral("pinboardTab-1"))->enter(tabFormats));
    panel->settle(30);
    EXPECT_EQ(pinboardNames(),
        (QStringList { QStringLiteral("Home"), QStringLiteral("Work"), QStringLiteral("Later") }));
    EXPECT_TRUE(dropHandler(QStringLiteral("pinboardTab-2"))->enter(tabFormats));
    panel->settle(30);
    EXPECT_EQ(pinboardNames(),
        (QStringList { QStringLiteral("Home"), QStringLiteral("Later"), QStringLiteral("Work") }));
    EXPECT_TRUE(dropHandler(QStringLiteral("pinboardTab-2"))->perform(tabFormats));
    EXPECT_FALSE(state->draggedPinboardID().isValid());
}

TEST_F(PanelViewTest, SnippetEditorSavesRefusesAndCancelsAndItsTriggerKeepsThePinboard)
{
    panel->file(alpha, work);
    panel->model->setSelectedPinboardID(work);
    panel->settle(50);
    auto *editor = panel->view->findChild<QObject *>(QStringLiteral("editorPopup"));
    ASSERT_NE(editor, nullptr);
    const auto openEditor = [&] {
        click(panel->find(QStringLiteral("newSnippetTile")));
        panel->settle(200);
        ASSERT_TRUE(editor->property("opened").toBool());
    };

    openEditor();
    panel->type(QStringLiteral("   \n "));
    EXPECT_FALSE(panel->find(QStringLiteral("saveButton"))->isEnabled());
    key(Qt::Key_A, Qt::ControlModifier);
    panel->type(QStringLiteral("Hello\nthere"));
    EXPECT_EQ(panel->find(QStringLiteral("saveHint"))->property("text").toString(),
        QStringLiteral("Ctrl+Return to add"));
    key(Qt::Key_Tab);
    panel->type(QStringLiteral("hi"));
    key(Qt::Key_Return, Qt::ControlModifier);
    panel->settle(300);
    EXPECT_FALSE(editor->property("visible").toBool());
    ASSERT_EQ(panel->model->items().size(), 2u);
    EXPECT_EQ(panel->model->items().front().text, QStringLiteral("Hello\nthere"));
    EXPECT_EQ(panel->model->items().front().trigger, QStringLiteral("hi"));
    EXPECT_TRUE(panel->find(QStringLiteral("searchField"))->hasActiveFocus());

    // A taken trigger keeps the editor open with the store's message; Escape cancels and
    // clears it.
    openEditor();
    panel->type(QStringLiteral("Other"));
    key(Qt::Key_Tab);
    panel->type(QStringLiteral("hi"));
    key(Qt::Key_Return, Qt::ControlModifier);
    panel->settle(100);
    EXPECT_TRUE(editor->property("visible").toBool());
    EXPECT_FALSE(
        panel->find(QStringLiteral("snippetError"))->property("text").toString().isEmpty());
    key(Qt::Key_Escape);
    panel->settle(300);
    EXPECT_FALSE(editor->property("visible").toBool());
    EXPECT_FALSE(panel->model->snippetError().has_value());
    EXPECT_EQ(panel->dismissCount, 0);

    // The pinboard now holds a snippet with a trigger, so it cannot be deleted: the action
    // error shows until it is clicked.
    panel->model->deletePinboard(work);
    panel->settle(300);
    QQuickItem *capsule = panel->find(QStringLiteral("actionError"));
    ASSERT_NE(capsule, nullptr);
    EXPECT_TRUE(capsule->isVisible());
    EXPECT_EQ(capsule->property("message").toString(), *panel->model->actionError());
    click(capsule);
    panel->settle(300);
    EXPECT_FALSE(panel->model->actionError().has_value());
    EXPECT_FALSE(capsule->isVisible());
}

TEST_F(PanelViewTest, CardAndTabMenusFileCopyDeleteEditAndMovePinboards)
{
    rightClick(panel->find(QStringLiteral("card-0")));
    click(menuEntry(QStringLiteral("Pinboards")));
    panel->settle(300);
    click(menuEntry(QStringLiteral("Home")));
    EXPECT_EQ(panel->store->pinboardIDs(gamma.id), (std::set<std::int64_t> { home }));

    // Filed, the card left the Clipboard tab; the next one takes its place.
    panel->settle(100);
    ASSERT_EQ(panel->model->items().size(), 2u);
    rightClick(panel->find(QStringLiteral("card-0")));
    click(menuEntry(QStringLiteral("Delete")));
    ASSERT_EQ(panel->model->items().size(), 1u);
    EXPECT_EQ(panel->model->items().front().id, alpha.id);

    rightClick(panel->find(QStringLiteral("card-0")));
    click(menuEntry(QStringLiteral("Copy Only")));
    EXPECT_EQ(clipboardText(), QStringLiteral("alpha"));

    rightClick(panel->find(QStringLiteral("card-0")));
    click(menuEntry(QStringLiteral("Edit\u2026")));
    panel->settle(200);
    QQuickItem *text = panel->find(QStringLiteral("snippetText"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->property("text").toString(), QStringLiteral("alpha"));
    EXPECT_EQ(panel->find(QStringLiteral("saveHint"))->property("text").toString(),
        QStringLiteral("Ctrl+Return to save"));
    // Not on a pinboard: no trigger.
    EXPECT_FALSE(panel->find(QStringLiteral("snippetTrigger"))->isEnabled());
    EXPECT_EQ(panel->find(QStringLiteral("triggerHint"))->property("text").toString(),
        QStringLiteral("Pinboard items only \u2014 the clipboard is cleared out over time."));

    key(Qt::Key_End, Qt::ControlModifier);
    panel->type(QStringLiteral(" ray"));
    key(Qt::Key_Return, Qt::ControlModifier);
    panel->settle(300);
    EXPECT_EQ(panel->model->items().front().text, QStringLiteral("alpha ray"));

    rightClick(panel->find(QStringLiteral("pinboardTab-0")));
    ASSERT_NE(menuEntry(QStringLiteral("Move Left")), nullptr);
    EXPECT_FALSE(menuEntry(QStringLiteral("Move Left"))->isEnabled());
    click(menuEntry(QStringLiteral("Move Right")));
    EXPECT_EQ(pinboardNames(), (QStringList { QStringLiteral("Home"), QStringLiteral("Work") }));

    rightClick(panel->find(QStringLiteral("pinboardTab-1")));
    EXPECT_FALSE(menuEntry(QStringLiteral("Move Right"))->isEnabled());
    click(menuEntry(QStringLiteral("Delete Pinboard")));
    EXPECT_EQ(pinboardNames(), (QStringList { QStringLiteral("Home") }));
}

// An image that cannot be decoded shows the placeholder; one found by the words in it says so.
TEST_F(PanelViewTest, ImageCardsShowAPlaceholderOrTheWordsFoundInThem)
{
    ClipCandidate candidate;
    candidate.kind = ClipKind::image;
    candidate.title = QStringLiteral("Image");
    candidate.payload = QByteArray("this is not a picture");
    candidate.byteCount = candidate.payload->size();
    // Third card, after the screenshot and gamma, so the screenshot stays the first.
    candidate.capturedAt = fromMillis(QDateTime::currentMSecsSinceEpoch() - 2 * 60'000);
    ASSERT_TRUE(panel->store->record(candidate, 0, 0, ClipStore::payloadCapBytes));
    const ClipItem screenshot
        = panel->addImage(QSize(320, 200), QColor(0x20, 0x30, 0x40), QColor(0x80, 0x90, 0xa0), 1);
    ASSERT_TRUE(panel->store->setRecognizedText(
        screenshot.id, QStringLiteral("Segmentation fault (core dumped)")));
    panel->model->reload();
    panel->settle(500);
    const auto inCard = [&](const char *card, const char *name) -> QQuickItem * {
        QQuickItem *found = panel->find(QString::fromLatin1(card));
        return found ? panel->find(QString::fromLatin1(name), found) : nullptr;
    };
    ASSERT_NE(panel->find(QStringLiteral("card-2")), nullptr);
    EXPECT_EQ(panel->find(QStringLiteral("card-2"))->property("kind").toString(),
        QStringLiteral("image"));
    ASSERT_NE(inCard("card-2", "imagePlaceholder"), nullptr);
    EXPECT_TRUE(inCard("card-2", "imagePlaceholder")->isVisible());
    ASSERT_NE(inCard("card-0", "textInImageHint"), nullptr);
    EXPECT_FALSE(inCard("card-0", "textInImageHint")->isVisible());

    panel->type(QStringLiteral("segmentation"));
    panel->settle(300);
    ASSERT_EQ(panel->model->items().size(), 1u);
    EXPECT_EQ(panel->model->items().front().id, screenshot.id);
    EXPECT_TRUE(inCard("card-0", "textInImageHint")->isVisible());
}

TEST_F(PanelViewTest, MouseOnCards)
{
    click(panel->find(QStringLiteral("card-1")), Qt::ControlModifier);
    EXPECT_EQ(panel->model->markedIDs(), (std::set<std::int64_t> { gamma.id, beta.id }));
    click(panel->find(QStringLiteral("card-2")), Qt::ShiftModifier);
    EXPECT_EQ(panel->model->markedIDs(), (std::set<std::int64_t> { beta.id, alpha.id }));
    panel->model->select(0);
    click(panel->find(QStringLiteral("card-2")));
    EXPECT_EQ(clipboardText(), QStringLiteral("alpha"));
}

} // namespace
} // namespace corvane::test
