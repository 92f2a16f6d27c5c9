#include "storetestsupport.h"

#include <functional>

namespace corvane {
namespace {

using test::StoreTest;
using Error = ClipStore::Error;

class PinboardsTest : public StoreTest
{
protected:
    // Runs operation and returns the store error it throws, or nothing.
    static std::optional<Error> refusal(const std::function<void()> &operation)
    {
        try {
            operation();
        } catch (const Error &error) {
            return error;
        }
        return std::nullopt;
    }
};

TEST_F(PinboardsTest, PinboardsComeInTabOrderWithRotatingColours)
{
    std::vector<Pinboard> created;
    for (int i = 0; i < 7; ++i)
        created.push_back(store().createPinboard(QStringLiteral("Board %1").arg(i)));
    const Pinboard chosen = store().createPinboard(QStringLiteral("  Chosen  "), 4);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(created[i].sortOrder, i);
        EXPECT_EQ(created[i].colorIndex, i % 6);
    }
    EXPECT_EQ(chosen.colorIndex, 4);
    EXPECT_EQ(chosen.sortOrder, 7);
    EXPECT_EQ(chosen.name, QStringLiteral("  Chosen  "));

    const std::int64_t item = add(text(QStringLiteral("filed")));
    store().addItem(created[1].id, item);
    std::vector<Pinboard> expected = created;
    expected.push_back(chosen);
    expected[1].itemCount = 1;
    EXPECT_EQ(store().pinboards(), expected);

    // Reordering moves the listed boards; one left out keeps its old order value.
    std::vector<std::int64_t> order;
    for (auto it = expected.rbegin(); it != expected.rend(); ++it)
        order.push_back(it->id);
    order.pop_back();
    store().reorderPinboards(order);
    const std::vector<Pinboard> reordered = store().pinboards();
    ASSERT_EQ(reordered.size(), 8u);
    EXPECT_EQ(reordered[0].id, created[0].id); // order 0, lower id than the new order 0
    EXPECT_EQ(reordered[1].id, chosen.id);
    EXPECT_EQ(reordered[7].id, created[1].id);

    // A failure part-way leaves every order as it was.
    openDirectly()->query(QStringLiteral(
        "CREATE TRIGGER refuse_last BEFORE UPDATE ON pinboards WHEN new.sort_order = 7 BEGIN "
        "SELECT RAISE(ABORT, 'refused'); END"));
    std::vector<std::int64_t> everyBoard = order;
    everyBoard.push_back(created[0].id);
    EXPECT_THROW(store().reorderPinboards(everyBoard), SQLiteDatabase::Error);
    EXPECT_EQ(store().pinboards(), reordered);
}

TEST_F(PinboardsTest, NewestAdditionComesFirstAndRepeatsKeepTheirPlace)
{
    const Pinboard board = store().createPinboard(QStringLiteral("Board"));
    const Pinboard other = store().createPinboard(QStringLiteral("Other"));
    const std::int64_t first = add(text(QStringLiteral("first"), 3));
    const std::int64_t second = add(text(QStringLiteral("second"), 2));
    const std::int64_t third = add(text(QStringLiteral("third"), 1));
    for (std::int64_t id : { first, second, third, first })
        store().addItem(board.id, id);
    store().addItem(other.id, first);

    ClipStore::Filter filter;
    filter.pinboardID = board.id;
    filter.limit = 10;
    EXPECT_EQ(titles(filter),
        (std::vector<QString> {
            QStringLiteral("third"), QStringLiteral("second"), QStringLiteral("first") }));
    auto database = openDirectly();
    const auto orders = database->query(
        QStringLiteral("SELECT sort_order FROM pinboard_items WHERE pinboard_id = ? ORDER BY "
                       "item_id"),
        { board.id });
    ASSERT_EQ(orders.size(), 3u);
    EXPECT_EQ(*integerValue(orders[0], QStringLiteral("sort_order")), 0);
    EXPECT_EQ(*integerValue(orders[1], QStringLiteral("sort_order")), -1);
    EXPECT_EQ(*integerValue(orders[2], QStringLiteral("sort_order")), -2);
    EXPECT_EQ(store().pinboardIDs(first), (std::set { board.id, other.id }));
    EXPECT_TRUE(store().pinboardIDs(999).empty());

    store().removeItem(first, board.id);
    EXPECT_EQ(store().pinboardIDs(first), std::set { other.id });
    // Deleting a pinboard keeps its items in the history.
    store().deletePinboard(board.id);
    EXPECT_TRUE(store().item(second));
    EXPECT_TRUE(store().pinboardIDs(second).empty());
    EXPECT_EQ(store().pinboards().size(), 1u);

    // Filing what another process deleted meanwhile is refused as missing, not as a broken
    // reference: the item pruned, or the pinboard deleted.
    EXPECT_EQ(refusal([&] { store().addItem(other.id, 999); }), Error::missing());
    EXPECT_EQ(refusal([&] { store().addItem(board.id, second); }), Error::missing());
    EXPECT_TRUE(store().pinboardIDs(second).empty());
}

TEST_F(PinboardsTest, TriggersAreNormalisedAndRefusedInOrder)
{
    const Pinboard board = store().createPinboard(QStringLiteral("Snippets"));
    const std::int64_t signature = add(text(QStringLiteral("Best regards")));
    const std::int64_t address = add(text(QStringLiteral("1 Main Street")));
    const std::int64_t unfiled = add(text(QStringLiteral("loose")));
    const std::int64_t picture = add(image("png"));
    for (std::int64_t id : { signature, address, picture })
        store().addItem(board.id, id);

    store().setTrigger(signature, QStringLiteral("  Sig\n"));
    EXPECT_EQ(store().item(signature)->trigger, QStringLiteral("sig"));
    store().setTrigger(signature, QStringLiteral("SIG")); // its own trigger again

    const struct
    {
        const char *name;
        std::int64_t id;
        std::optional<QString> trigger;
        Error error;
    } refusals[] = {
        { "missing item", 999, QStringLiteral("x"), Error::missing() },
        { "missing item, clearing", 999, std::nullopt, Error::missing() },
        { "image", picture, QStringLiteral("x"), Error::notEditable() },
        { "image, clearing", picture, std::nullopt, Error::notEditable() },
        { "unfiled", unfiled, QStringLiteral("x"), Error::triggerNeedsPinboard() },
        { "unfiled and blank", unfiled, QStringLiteral("   "), Error::triggerNeedsPinboard() },
        { "blank", address, QStringLiteral(" \t\n "), Error::emptyTrigger() },
        { "empty", address, QString(), Error::emptyTrigger() },
        { "two words", address, QStringLiteral("my sig"), Error::spacedTrigger() },
        { "tab inside", address, QStringLiteral("my\tsig"), Error::spacedTrigger() },
        { "no-break space inside", address, QStringLiteral("my\u00A0sig"), Error::spacedTrigger() },
        { "taken in another case", address, QStringLiteral(" SiG "),
            Error::triggerTaken(QStringLiteral("sig")) },
    };
    const std::int64_t generation = store().generation();
    for (const auto &test : refusals) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(refusal([&] { store().setTrigger(test.id, test.trigger); }), test.error);
    }
    EXPECT_EQ(store().generation(), generation);
    EXPECT_FALSE(store().item(address)->trigger);

    store().setTrigger(address, QStringLiteral("ADDR"));
    EXPECT_EQ(store().itemWithTrigger(QStringLiteral("addr"))->id, address);
    // Clearing works on or off a pinboard.
    store().setTrigger(unfiled, std::nullopt);
    store().setTrigger(address, std::nullopt);
    EXPECT_FALSE(store().itemWithTrigger(QStringLiteral("addr")));
}

TEST_F(PinboardsTest, TriggersNeverLoseTheirLastPinboard)
{
    const Pinboard home = store().createPinboard(QStringLiteral("Home"));
    const Pinboard second = store().createPinboard(QStringLiteral("Second"));
    const Pinboard unrelated = store().createPinboard(QStringLiteral("Unrelated"));
    const std::int64_t zeta = add(text(QStringLiteral("zeta text")));
    const std::int64_t alpha = add(text(QStringLiteral("alpha text")));
    const std::int64_t shared = add(text(QStringLiteral("shared text")));
    for (std::int64_t id : { zeta, alpha, shared })
        store().addItem(home.id, id);
    store().addItem(second.id, shared);
    store().setTrigger(zeta, QStringLiteral("zeta"));
    store().setTrigger(alpha, QStringLiteral("alpha"));
    store().setTrigger(shared, QStringLiteral("shared"));

    EXPECT_EQ(refusal([&] { store().deletePinboard(home.id); }),
        Error::pinboardHoldsTriggers({ QStringLiteral("alpha"), QStringLiteral("zeta") }));
    EXPECT_EQ(store().pinboards().size(), 3u);
    EXPECT_EQ(refusal([&] { store().removeItem(zeta, home.id); }),
        Error::triggerStrandedByUnfiling(QStringLiteral("zeta")));
    // Asked to leave a board it is not on, a snippet with one home is still refused.
    EXPECT_EQ(refusal([&] { store().removeItem(zeta, unrelated.id); }),
        Error::triggerStrandedByUnfiling(QStringLiteral("zeta")));
    EXPECT_EQ(store().pinboardIDs(zeta), std::set { home.id });

    // The shared snippet may leave one of its two homes, and its other board may go.
    store().addItem(unrelated.id, shared);
    store().removeItem(shared, home.id);
    store().deletePinboard(second.id);
    EXPECT_EQ(store().pinboardIDs(shared), std::set { unrelated.id });
    EXPECT_EQ(refusal([&] { store().deletePinboard(unrelated.id); }),
        Error::pinboardHoldsTriggers({ QStringLiteral("shared") }));

    // Without its trigger, the item may leave; deleting an item takes its trigger along.
    store().setTrigger(zeta, std::nullopt);
    store().removeItem(zeta, home.id);
    store().deleteItems({ alpha });
    EXPECT_EQ(store().triggerTable(),
        (QHash<QString, QString> { { QStringLiteral("shared"), QStringLiteral("shared text") } }));
    store().deletePinboard(home.id);
}

TEST_F(PinboardsTest, TriggerTableSkipsSnippetsWithoutText)
{
    const Pinboard board = store().createPinboard(QStringLiteral("Snippets"));
    const std::int64_t hello = add(text(QStringLiteral("Hello there")));
    const std::int64_t empty = add(text(QStringLiteral("will be emptied")));
    const std::int64_t colour = add([] {
        ClipCandidate candidate = text(QStringLiteral("#FF8800"));
        candidate.kind = ClipKind::color;
        return candidate;
    }());
    for (std::int64_t id : { hello, empty, colour })
        store().addItem(board.id, id);
    store().setTrigger(hello, QStringLiteral("hi"));
    store().setTrigger(empty, QStringLiteral("nothing"));
    store().setTrigger(colour, QStringLiteral("orange"));
    store().updateText(empty, QString());

    EXPECT_EQ(store().triggerTable(),
        (QHash<QString, QString> { { QStringLiteral("hi"), QStringLiteral("Hello there") },
            { QStringLiteral("orange"), QStringLiteral("#FF8800") } }));
}

// Pinboards are searched through an index of the filed items alone, kept by the file's own
// triggers: it must follow every way an item is filed, unfiled, edited or deleted, through
// the store or through any other connection.
TEST_F(PinboardsTest, TheFiledItemsIndexFollowsEveryChange)
{
    const std::int64_t work = store().createPinboard(QStringLiteral("Work")).id;
    const std::int64_t home = store().createPinboard(QStringLiteral("Home")).id;
    std::vector<std::int64_t> items;
    for (const char *words : { "alpha report", "bravo invoice", "charlie report", "delta memo",
             "echo report", "foxtrot memo" })
        items.push_back(add(text(QString::fromLatin1(words))));
    for (const std::int64_t item : items)
        store().addItem(work, item);
    store().addItem(home, items[0]);
    store().addItem(home, items[1]);
    store().addItem(home, items[3]);

    auto bare = openDirectly();
    store().removeItem(items[0], work); // still on the other pinboard
    store().removeItem(items[2], work); // on none now
    store().updateText(items[3], QStringLiteral("delta report"));
    store().deleteItems({ items[4] });
    bare->query(QStringLiteral("DELETE FROM pinboard_items WHERE item_id = ?"), { items[5] });
    bare->query(QStringLiteral("INSERT INTO pinboard_items (pinboard_id, item_id, sort_order, "
                               "added_at) VALUES (?, ?, 0, 0)"),
        { home, items[2] });
    store().deletePinboard(work);
    store().clearHistory();

    const auto column = [&](const char *select) {
        std::vector<std::int64_t> ids;
        for (const auto &row : bare->query(QLatin1String(select)))
            ids.push_back(*integerValue(row, QStringLiteral("id")));
        return ids;
    };
    const auto filed = column("SELECT DISTINCT item_id AS id FROM pinboard_items ORDER BY 1");
    EXPECT_EQ(column("SELECT rowid AS id FROM filed_fts ORDER BY 1"), filed);
    EXPECT_EQ(filed, (std::vector<std::int64_t> { items[0], items[1], items[2], items[3] }));
    for (const char *index : { "filed_fts", "filed_trigrams" }) {
        EXPECT_NO_THROW(
            bare->query(QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('integrity-check', 1)")
                            .arg(QLatin1String(index))))
            << index;
    }

    // The edited and re-filed texts are found by word and inside words, the old words not.
    const auto found = [&](const char *search) {
        std::vector<std::int64_t> ids;
        for (const ClipItem &item : store().items(
                 { .search = QString::fromLatin1(search), .pinboardID = home, .limit = 10 }))
            ids.push_back(item.id);
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    EXPECT_EQ(found("report"), (std::vector<std::int64_t> { items[0], items[2], items[3] }));
    EXPECT_EQ(found("voic"), (std::vector<std::int64_t> { items[1] }));
    EXPECT_EQ(found("memo"), std::vector<std::int64_t> {});
}

TEST(ClipStoreError, EveryCaseHasItsFullAndShortMessage)
{
    const struct
    {
        Error error;
        const char *full;
        const char *brief;
        const char *diagnostic;
    } cases[] = {
        { Error::triggerTaken(QStringLiteral("sig")), "Another snippet already uses “sig”.",
            "“sig” is already taken", "triggerTaken(\"sig\")" },
        { Error::triggerStrandedByUnfiling(QStringLiteral("sig")),
            "“sig” is a snippet trigger. Remove the trigger before moving this off its pinboard "
            "— in the clipboard it would eventually be cleared.",
            "Remove the “sig” trigger first", "triggerStrandedByUnfiling(\"sig\")" },
        { Error::pinboardHoldsTriggers({ QStringLiteral("sig") }),
            "This pinboard holds “sig”, which is a snippet trigger. Remove the trigger or move "
            "the snippet to another pinboard first.",
            "This board holds a snippet trigger", "pinboardHoldsTriggers([\"sig\"])" },
        { Error::pinboardHoldsTriggers({ QStringLiteral("alpha"), QStringLiteral("zeta") }),
            "This pinboard holds snippet triggers (“alpha”, “zeta”). Remove them or move the "
            "snippets to another pinboard first.",
            "This board holds a snippet trigger", "pinboardHoldsTriggers([\"alpha\", \"zeta\"])" },
        { Error::missing(), "That item is no longer there.", "That item is gone", "missing" },
        { Error::notEditable(), "Only text, links and colors can be edited.",
            "This kind cannot be edited", "notEditable" },
        { Error::duplicate(), "You already have an item with exactly that content.",
            "You already have this", "duplicate" },
        { Error::emptyTrigger(), "A trigger needs at least one character.",
            "A trigger needs a name", "emptyTrigger" },
        { Error::spacedTrigger(), "A trigger cannot contain spaces — it would never match.",
            "Triggers cannot contain spaces", "spacedTrigger" },
        { Error::triggerNeedsPinboard(),
            "Only snippets on a pinboard can have a trigger. Items in the clipboard are cleared "
            "out over time, and the trigger would stop working when they were.",
            "Triggers only work on pinboards", "triggerNeedsPinboard" },
        { Error::triggerTaken(QStringLiteral("a\"b\\c")), "Another snippet already uses “a\"b\\c”.",
            "“a\"b\\c” is already taken", "triggerTaken(\"a\\\"b\\\\c\")" },
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.diagnostic);
        EXPECT_EQ(test.error.fullMessage(), QString::fromUtf8(test.full));
        EXPECT_EQ(test.error.shortMessage(), QString::fromUtf8(test.brief));
        EXPECT_EQ(test.error.diagnostic(), QString::fromUtf8(test.diagnostic));
        EXPECT_STREQ(test.error.what(), test.full);
    }
    EXPECT_EQ(Error::triggerTaken(QStringLiteral("a")), Error::triggerTaken(QStringLiteral("a")));
    EXPECT_NE(Error::triggerTaken(QStringLiteral("a")), Error::triggerTaken(QStringLiteral("b")));
    EXPECT_NE(Error::triggerTaken(QStringLiteral("a")),
        Error::triggerStrandedByUnfiling(QStringLiteral("a")));
}

} // namespace
} // namespace corvane
