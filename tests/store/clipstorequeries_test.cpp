#include "storetestsupport.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace corvane {
namespace {

using test::StoreTest;

class QueriesTest : public StoreTest
{
protected:
    ClipStore::Filter searchFor(const QString &search, std::int64_t limit = 50)
    {
        ClipStore::Filter filter;
        filter.search = search;
        filter.limit = limit;
        return filter;
    }

    std::int64_t addText(
        const QString &title, const QString &subtitle, const QString &body, int minute)
    {
        ClipCandidate candidate = text(body, minute);
        candidate.title = title;
        candidate.subtitle = subtitle.isEmpty() ? std::nullopt : std::optional(subtitle);
        return add(candidate);
    }

    std::vector<std::int64_t> ids(const ClipStore::Filter &filter)
    {
        std::vector<std::int64_t> result;
        for (const ClipItem &item : store().items(filter))
            result.push_back(item.id);
        return result;
    }
};

TEST_F(QueriesTest, SearchFindsWordStartsInTitleSubtitleAndText)
{
    addText(QStringLiteral("Quarterly report"), QString(), QStringLiteral("numbers"), 0);
    addText(QStringLiteral("Shopping"), QStringLiteral("Groceries for Friday"),
        QStringLiteral("milk"), 1);
    addText(QStringLiteral("Snippet"), QString(), QStringLiteral("SELECT * FROM reports"), 2);
    addText(QStringLiteral("Unrelated"), QString(), QStringLiteral("preport is no word start"), 3);
    addText(QStringLiteral("Café menu"), QString(), QStringLiteral("crème brûlée"), 4);
    const std::vector<QString> newestFirst
        = { QStringLiteral("Café menu"), QStringLiteral("Unrelated"), QStringLiteral("Snippet"),
              QStringLiteral("Shopping"), QStringLiteral("Quarterly report") };

    const struct
    {
        const char *search;
        std::vector<QString> titles;
    } cases[] = {
        { "report", { QStringLiteral("Snippet"), QStringLiteral("Quarterly report") } },
        { "REP", { QStringLiteral("Snippet"), QStringLiteral("Quarterly report") } },
        { "groc fri", { QStringLiteral("Shopping") } },
        { "  \n milk\t ", { QStringLiteral("Shopping") } },
        { "fri milk report", {} },
        { "brû", { QStringLiteral("Café menu") } },
        { "cafe", { QStringLiteral("Café menu") } },
        // One character that starts no word: an empty list and no substring scan.
        { "z", {} },
        { "", newestFirst },
        { " \n\t ", newestFirst },
    };
    for (const auto &search : cases) {
        SCOPED_TRACE(search.search);
        EXPECT_EQ(titles(searchFor(QString::fromUtf8(search.search))), search.titles);
    }
    EXPECT_EQ(titles(searchFor(QString(), 2)),
        (std::vector<QString> { QStringLiteral("Café menu"), QStringLiteral("Unrelated") }));
}

TEST_F(QueriesTest, SearchTextIsNeverReadAsIndexSyntax)
{
    addText(QStringLiteral("Quote"), QString(), QStringLiteral("she said \"hi there\" (twice)"), 0);
    addText(QStringLiteral("Logic"), QString(), QStringLiteral("cats AND dogs OR NOT mice"), 1);
    addText(QStringLiteral("Column"), QString(), QStringLiteral("title:body ^start near*"), 2);
    // Operators match as ordinary words, quotes and brackets as the words they surround (that
    // no text at all raises an error is store_search_fuzzer's part).
    const std::pair<QString, const char *> searches[] = {
        { QStringLiteral("AND"), "Logic" },
        { QStringLiteral("\"hi there\""), "Quote" },
        { QStringLiteral("(twice)"), "Quote" },
        { QStringLiteral("title:body"), "Column" },
        { QStringLiteral("cats\u0000dogs"), "Logic" },
    };
    for (const auto &[search, title] : searches)
        EXPECT_EQ(titles(searchFor(search)), std::vector { QString::fromLatin1(title) }) << title;
    EXPECT_EQ(ClipStore::ftsQuery(QStringLiteral("red  \"car\"")),
        QStringLiteral("\"red\"* \"\"\"car\"\"\"*"));
}

TEST_F(QueriesTest, SubstringFallbackFindsTextInsideWordsLiterally)
{
    addText(QStringLiteral("Password manager"), QString(), QStringLiteral("keepassxc"), 0);
    addText(QStringLiteral("Discount"), QString(), QStringLiteral("save 50% today"), 1);
    addText(QStringLiteral("Discount look-alike"), QString(), QStringLiteral("save 50x today"), 2);
    addText(QStringLiteral("Identifier"), QString(), QStringLiteral("snake_case_name"), 3);
    addText(QStringLiteral("Identifier look-alike"), QString(), QStringLiteral("snakeXcase"), 4);
    addText(QStringLiteral("Windows path"), QString(), QStringLiteral("C:\\Users\\me"), 5);
    addText(QStringLiteral("Unicode"), QString(), QStringLiteral("XÉCOLE"), 6);

    const struct
    {
        const char *search;
        std::vector<QString> titles;
    } cases[] = {
        { "assx", { QStringLiteral("Password manager") } },
        { "ASSX", { QStringLiteral("Password manager") } },
        { "0%", { QStringLiteral("Discount") } },
        { "e_c", { QStringLiteral("Identifier") } },
        // A backslash is the escape character and still matches itself.
        { "rs\\m", { QStringLiteral("Windows path") } },
        { "rs\\", { QStringLiteral("Windows path") } },
        // Only ASCII letters compare without regard to case.
        { "cole", { QStringLiteral("Unicode") } },
        { "ÉCOL", { QStringLiteral("Unicode") } },
        { "écol", {} },
        { "ssw", { QStringLiteral("Password manager") } },
        // One character never scans.
        { "q", {} },
    };
    for (const auto &search : cases) {
        SCOPED_TRACE(search.search);
        EXPECT_EQ(titles(searchFor(QString::fromUtf8(search.search))), search.titles);
    }
}

// A list may ask for the start of long texts only: every way a list is read cuts them at a
// whole character within the byte limit and marks them, and the item read alone is whole.
TEST_F(QueriesTest, ListsCutLongTextsAtAWholeCharacterAndMarkThem)
{
    // "é" is two bytes in UTF-8; the tenth byte falls inside the fifth one.
    const QString longText = QStringLiteral("abcd") + QStringLiteral("\u00e9").repeated(4000)
        + QStringLiteral(" needle");
    const std::int64_t id = addText(QStringLiteral("Long"), QString(), longText, 0);
    addText(QStringLiteral("Short"), QString(), QStringLiteral("needle"), 1);
    // Byte counts that are not the text's length: a file's is the file's size, and a row may
    // understate it. Lists leave a text longer by its count out of their statements.
    ClipCandidate file = text(QStringLiteral("/needle"), 2);
    file.kind = ClipKind::file;
    file.byteCount = 1 << 24;
    const std::int64_t fileID = add(file);
    ClipCandidate understated = text(longText + QStringLiteral(" again"), 3);
    understated.byteCount = 1;
    const std::int64_t understatedID = add(understated);
    ClipCandidate picture = image("png bytes", 4);
    picture.byteCount = 1 << 20;
    const std::int64_t pictureID = add(picture);

    const struct
    {
        const char *search;
        bool onlyUnfiled;
    } lists[]
        = { { "", true }, { "", false }, { "needle", true }, { "eedl", true }, { "éé", true } };
    for (const auto &list : lists) {
        SCOPED_TRACE(list.search);
        ClipStore::Filter filter = searchFor(QString::fromUtf8(list.search));
        filter.onlyUnfiled = list.onlyUnfiled;
        filter.textByteLimit = 9;
        const std::vector<ClipItem> listed = store().items(filter);
        const auto found = std::find_if(
            listed.begin(), listed.end(), [&](const ClipItem &item) { return item.id == id; });
        ASSERT_NE(found, listed.end());
        EXPECT_TRUE(found->isTextPartial);
        EXPECT_EQ(found->text, QStringLiteral("abcd\u00e9\u00e9"));
        EXPECT_EQ(found->title, QStringLiteral("Long"));
        for (const ClipItem &item : listed) {
            EXPECT_EQ(item.isTextPartial, item.id == id || item.id == understatedID);
            if (item.id == understatedID) {
                EXPECT_EQ(item.text, found->text);
            } else if (item.id == fileID) {
                EXPECT_EQ(item.text, QStringLiteral("/needle"));
            } else if (item.id == pictureID) {
                EXPECT_FALSE(item.text);
            }
        }
    }
    const std::optional<ClipItem> alone = store().item(id);
    ASSERT_TRUE(alone);
    EXPECT_FALSE(alone->isTextPartial);
    EXPECT_EQ(alone->text, longText);
}

TEST_F(QueriesTest, FiltersNarrowTheListAndBindInStatementOrder)
{
    ClipCandidate link = text(QStringLiteral("https://example.org/a-page"), 0);
    link.kind = ClipKind::link;
    link.title = QStringLiteral("a page");
    link.sourceBundleID = QStringLiteral("org.mozilla.firefox");
    link.sourceAppName = QStringLiteral("Firefox");
    const std::int64_t linkID = add(link);
    ClipCandidate note = text(QStringLiteral("page notes"), 1);
    note.sourceBundleID = QStringLiteral("org.gnome.TextEditor");
    const std::int64_t noteID = add(note);
    ClipCandidate colour = text(QStringLiteral("#ABCDEF"), 2);
    colour.kind = ClipKind::color;
    colour.sourceBundleID = QStringLiteral("org.mozilla.firefox");
    const std::int64_t colourID = add(colour);
    const std::int64_t older = add(text(QStringLiteral("older page"), -5));

    const Pinboard board = store().createPinboard(QStringLiteral("Board"));
    store().addItem(board.id, older);
    store().addItem(board.id, linkID);
    store().addItem(board.id, noteID);

    ClipStore::Filter everything;
    everything.limit = 10;

    ClipStore::Filter kinds = everything;
    kinds.kinds = { ClipKind::color, ClipKind::link };
    EXPECT_EQ(ids(kinds), (std::vector { colourID, linkID }));

    ClipStore::Filter sources = everything;
    sources.sourceBundleIDs = { QStringLiteral("org.mozilla.firefox") };
    EXPECT_EQ(ids(sources), (std::vector { colourID, linkID }));

    ClipStore::Filter unfiled = everything;
    unfiled.onlyUnfiled = true;
    EXPECT_EQ(ids(unfiled), std::vector { colourID });

    // A pinboard lists its newest addition first, whatever the items' ages.
    ClipStore::Filter pinned = everything;
    pinned.pinboardID = board.id;
    EXPECT_EQ(ids(pinned), (std::vector { noteID, linkID, older }));

    // Every filter at once: pinboard, kinds, sources and search bind in that order.
    ClipStore::Filter all = pinned;
    all.kinds = { ClipKind::link, ClipKind::text };
    all.sourceBundleIDs = { QStringLiteral("org.mozilla.firefox"), QStringLiteral("org.x") };
    all.search = QStringLiteral("pag");
    EXPECT_EQ(ids(all), std::vector { linkID });

    ClipStore::Filter pinnedAndUnfiled = pinned;
    pinnedAndUnfiled.onlyUnfiled = true;
    EXPECT_TRUE(ids(pinnedAndUnfiled).empty());

    // The substring fallback keeps the pinboard and onlyUnfiled but not kinds or sources,
    // and orders by age even on a pinboard.
    ClipStore::Filter fallback = pinned;
    fallback.kinds = { ClipKind::color };
    fallback.sourceBundleIDs = { QStringLiteral("org.nobody") };
    fallback.search = QStringLiteral("age");
    EXPECT_EQ(ids(fallback), (std::vector { noteID, linkID, older }));
    fallback.pinboardID.reset();
    fallback.onlyUnfiled = true;
    EXPECT_TRUE(ids(fallback).empty());
    fallback.search = QStringLiteral("CDE");
    EXPECT_EQ(ids(fallback), std::vector { colourID });
}

// The unfiled list leaves out filed items from a set it keeps between calls; whoever changes
// the pinboards (this store, another store on the file, another program), the next list
// must show the change.
TEST_F(QueriesTest, UnfiledListFollowsEveryChangeToThePinboards)
{
    std::vector<std::int64_t> newestFirst;
    for (int minute = 0; minute < 6; ++minute)
        newestFirst.insert(newestFirst.begin(), add(text(QString::number(minute), minute)));
    ClipStore other(storeDir());
    auto direct = openDirectly();
    const Pinboard board = store().createPinboard(QStringLiteral("Board"));
    ClipStore::Filter unfiled;
    unfiled.onlyUnfiled = true;
    unfiled.limit = 3;
    const auto without = [&](std::vector<std::int64_t> filed, std::size_t count) {
        std::vector<std::int64_t> expected;
        for (std::int64_t id : newestFirst) {
            if (std::find(filed.begin(), filed.end(), id) == filed.end() && expected.size() < count)
                expected.push_back(id);
        }
        return expected;
    };
    const auto fileDirectly = [&](std::int64_t id) {
        direct->query(QStringLiteral("INSERT INTO pinboard_items (pinboard_id, item_id, "
                                     "sort_order, added_at) VALUES (?, ?, 0, 0)"),
            { board.id, id });
    };

    const struct
    {
        const char *change;
        std::function<void()> make;
        std::vector<std::int64_t> filed;
    } steps[] = {
        { "nothing filed", [] {}, {} },
        { "this store files the newest", [&] { store().addItem(board.id, newestFirst[0]); },
            { newestFirst[0] } },
        { "another store files the second", [&] { other.addItem(board.id, newestFirst[1]); },
            { newestFirst[0], newestFirst[1] } },
        { "another connection files the fourth", [&] { fileDirectly(newestFirst[3]); },
            { newestFirst[0], newestFirst[1], newestFirst[3] } },
        { "this store unfiles the newest", [&] { store().removeItem(newestFirst[0], board.id); },
            { newestFirst[1], newestFirst[3] } },
        { "another store deletes the pinboard", [&] { other.deletePinboard(board.id); }, {} },
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.change);
        step.make();
        EXPECT_EQ(ids(unfiled), without(step.filed, 3));
        // Asked again with nothing changed, from the kept set.
        EXPECT_EQ(ids(unfiled), without(step.filed, 3));
    }

    // A negative limit lists everything unfiled, as SQLite reads it; zero lists nothing.
    unfiled.limit = -1;
    EXPECT_EQ(ids(unfiled), newestFirst);
    unfiled.limit = 0;
    EXPECT_TRUE(ids(unfiled).empty());
}

TEST_F(QueriesTest, SourceAppsAndStatisticsSummariseTheHistory)
{
    EXPECT_EQ(store().statistics(), (ClipStore::Statistics { 0, 0 }));
    EXPECT_TRUE(store().sourceApps(20).empty());

    const struct
    {
        const char *text;
        std::optional<QString> bundleID;
        std::optional<QString> name;
    } copies[] = {
        { "one", QStringLiteral("org.b"), QStringLiteral("Beta") },
        { "two", QStringLiteral("org.b"), std::nullopt },
        { "three", QStringLiteral("org.a"), QStringLiteral("Alpha") },
        { "four", QStringLiteral("org.nameless"), std::nullopt },
        { "five", QString(), QStringLiteral("Empty") },
        { "six", std::nullopt, QStringLiteral("None") },
    };
    std::int64_t bytes = 0;
    int minute = 0;
    for (const auto &copy : copies) {
        ClipCandidate candidate = text(QString::fromLatin1(copy.text), minute++);
        candidate.sourceBundleID = copy.bundleID;
        candidate.sourceAppName = copy.name;
        bytes += candidate.byteCount;
        add(candidate);
    }
    const std::vector<SourceApp> expected = {
        { QStringLiteral("org.b"), QStringLiteral("Beta"), 2 },
        { QStringLiteral("org.a"), QStringLiteral("Alpha"), 1 },
        { QStringLiteral("org.nameless"), QStringLiteral("org.nameless"), 1 },
    };
    EXPECT_EQ(store().sourceApps(20), expected);
    EXPECT_EQ(store().sourceApps(1), std::vector { expected.front() });
    EXPECT_EQ(store().statistics(), (ClipStore::Statistics { 6, bytes }));
}

// A long text is handed over as its stored UTF-8 in pieces of at most the size asked for,
// cut anywhere; an item that is gone, holds no text or changed on the way gives false.
TEST_F(QueriesTest, ReadsAStoredTextInPiecesAndOnlyWhileItIsTheSame)
{
    const QString longText = QStringLiteral("\u00e9\u0301x").repeated(3000);
    const ClipItem item = *store().record(text(longText), 0, 0, ClipStore::payloadCapBytes);
    const std::int64_t imageID = add(image(QByteArray("not really a png"), 1));

    QByteArray read;
    int pieces = 0;
    const auto collect = [&](QByteArrayView piece) {
        EXPECT_LE(piece.size(), 7);
        read += piece;
        ++pieces;
    };
    EXPECT_TRUE(store().readText(item.id, item.fingerprint, 7, collect));
    EXPECT_EQ(read, longText.toUtf8());
    EXPECT_EQ(pieces, (longText.toUtf8().size() + 6) / 7);

    const struct
    {
        const char *name;
        std::int64_t id;
        QString fingerprint;
    } refused[] = {
        { "another content", item.id, QStringLiteral("0") },
        { "no such item", item.id + 100, item.fingerprint },
        { "no text", imageID, store().item(imageID)->fingerprint },
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.name);
        read.clear();
        EXPECT_FALSE(store().readText(c.id, c.fingerprint, 7, collect));
        EXPECT_TRUE(read.isEmpty());
    }

    // Edited after the first piece: the rest would be of another text.
    bool edited = false;
    EXPECT_FALSE(store().readText(item.id, item.fingerprint, 1000, [&](QByteArrayView) {
        if (!std::exchange(edited, true))
            store().updateText(item.id, QStringLiteral("short now"));
    }));
}

TEST_F(QueriesTest, SingleLookUpsFindTheirItemOrNothing)
{
    const std::int64_t id = add(text(QStringLiteral("findable")));
    const ClipItem stored = *store().item(id);
    EXPECT_EQ(store().itemWithFingerprint(stored.fingerprint), stored);
    EXPECT_FALSE(store().item(id + 1));
    EXPECT_FALSE(store().itemWithFingerprint(QStringLiteral("0")));
    EXPECT_FALSE(store().itemWithTrigger(QStringLiteral("nothing")));
}

} // namespace
} // namespace corvane
