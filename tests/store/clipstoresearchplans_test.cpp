// The history query picks its plan by how many rows the search index lists; whatever the
// plan, the rows and their order must be those of the single statement that joins the index
// and sorts by date. Compared here over generated histories with repeat copies (so date order
// differs from insertion order), images with words read in them, pinboards and random
// filters and searches.
#include "candidates.h"
#include "historygenerator.h"
#include "onestatementquery.h"
#include "store/candidatesearch.h"
#include "storetestsupport.h"

#include <cstring>
#include <random>
#include <set>

namespace corvane {
namespace {

std::vector<std::int64_t> oneStatementIDs(SQLiteDatabase &database, const ClipStore::Filter &filter)
{
    const auto ids = [&](const OneStatementQuery &query) {
        std::vector<std::int64_t> found;
        for (const auto &row : database.query(query.sql, query.bindings))
            found.push_back(*integerValue(row, QStringLiteral("id")));
        return found;
    };
    std::vector<std::int64_t> found = ids(OneStatementQuery::indexed(filter));
    if (!found.empty())
        return found;
    const std::optional<OneStatementQuery> scan = OneStatementQuery::substring(filter);
    return scan ? ids(*scan) : found;
}

class SearchPlanTest : public test::StoreTest
{
protected:
    // Image items spread over the history's dates, most with words read in them (drawn from
    // the words the other items use), some read and found empty, some not read yet.
    void addImagesWithWords(SQLiteDatabase &database, int count)
    {
        const auto range = database.query(
            QStringLiteral("SELECT MIN(created_at) AS low, MAX(created_at) AS high FROM items"));
        const std::int64_t low = *integerValue(range.front(), QStringLiteral("low"));
        const std::int64_t high = *integerValue(range.front(), QStringLiteral("high"));
        const std::vector<QString> &words = HistoryGenerator::vocabulary();
        std::mt19937 random(3);
        for (int i = 0; i < count; ++i) {
            const Timestamp when
                = fromMillis(low + std::int64_t(random() % std::uint64_t(high - low + 1)));
            const auto item = store().record(test::imageCandidate(QByteArray::number(i), when), 0,
                0, ClipStore::payloadCapBytes);
            ASSERT_TRUE(item);
            if (i % 9 == 8)
                continue;
            QStringList sentence;
            for (int word = 0, length = i % 7 == 0 ? 0 : 2 + int(random() % 6); word < length;
                 ++word)
                sentence << words[random() % words.size()];
            ASSERT_TRUE(store().setRecognizedText(item->id, sentence.join(QLatin1Char(' '))));
        }
    }
};

TEST_F(SearchPlanTest, EveryPlanReturnsTheRowsAndOrderOfTheOneStatementQuery)
{
    const HistoryGenerator::Result history = HistoryGenerator::fill(store(), 1200, 7);
    auto database = openDirectly();
    addImagesWithWords(*database, 90);

    // Texts to search for are taken from the stored rows, so that prefixes, whole words,
    // pieces inside words and across word breaks all occur, dense and rare.
    std::vector<QString> texts;
    for (const auto &row : database->query(
             QStringLiteral("SELECT text FROM items WHERE text IS NOT NULL UNION ALL "
                            "SELECT title FROM items UNION ALL SELECT text FROM image_texts")))
        texts.push_back(*textValue(row, QStringLiteral("text")));
    std::mt19937 random(11);
    const auto below = [&](std::size_t bound) { return std::size_t(random() % bound); };
    const auto piece = [&] {
        const QString &text = texts[below(texts.size())];
        const qsizetype start = qsizetype(below(std::size_t(std::max<qsizetype>(text.size(), 1))));
        return text.mid(start, qsizetype(1 + below(9)));
    };
    // Two characters are found through the trigrams that start with them and the texts that
    // end with them: pairs from anywhere in a text, its very end and in either case.
    const auto pair = [&] {
        const QString &text = texts[below(texts.size())];
        const QString two = below(2) == 0 ? text.right(2) : piece().left(2);
        return below(3) == 0 ? two.toUpper() : two;
    };
    const auto search = [&]() -> QString {
        const std::vector<QString> &words = HistoryGenerator::vocabulary();
        switch (below(11)) {
        case 0:
            return QString(QChar(u'a' + char16_t(below(26))));
        case 1:
            return words[below(words.size())].left(qsizetype(1 + below(4)));
        case 2:
            return words[below(words.size())] + QLatin1Char(' ')
                + words[below(words.size())].left(2);
        case 3:
        case 4:
            return piece();
        case 5:
            return piece().toUpper();
        case 6: {
            static const char *const odd[] = { "qxzq", "zz", "100%", "a_b", "\"quoted", "C:\\",
                "caf\xc3\xa9", "M\xc3\x9cLLER", "  spaced  out ", "-", "x\"y", "%", "__",
                "\xc3\xa9", "\xc3\x9cl", "f\xc3\xa9", "\xc3\x89" };
            return QString::fromUtf8(odd[below(std::size(odd))]);
        }
        case 7:
            return QString();
        case 9:
        case 10:
            return pair();
        default:
            return piece() + piece();
        }
    };
    const std::vector<QString> bundleIDs
        = { QStringLiteral("org.mozilla.firefox"), QStringLiteral("org.gnome.Terminal"),
              QStringLiteral("com.example.mail"), QStringLiteral("not.an.application") };
    const ClipKind kinds[] = { ClipKind::text, ClipKind::link, ClipKind::color, ClipKind::image };
    const std::int64_t limits[] = { 300, 300, 300, 1, 7, 40, 0, -1 };

    int compared = 0;
    int nonEmpty = 0;
    for (int round = 0; round < 400; ++round) {
        ClipStore::Filter filter;
        filter.search = search();
        filter.limit = limits[below(std::size(limits))];
        switch (below(4)) {
        case 0:
            filter.onlyUnfiled = true;
            break;
        case 1:
            filter.pinboardID = history.pinboardIDs[below(history.pinboardIDs.size())];
            break;
        case 2:
            filter.onlyUnfiled = true;
            filter.pinboardID = history.pinboardIDs.front();
            break;
        default:
            break;
        }
        if (below(4) == 0)
            filter.kinds = { kinds[below(std::size(kinds))], kinds[below(std::size(kinds))] };
        if (below(5) == 0)
            filter.sourceBundleIDs = { bundleIDs[below(bundleIDs.size())] };

        std::vector<std::int64_t> got;
        for (const ClipItem &item : store().items(filter))
            got.push_back(item.id);
        const std::vector<std::int64_t> expected = oneStatementIDs(*database, filter);
        ASSERT_EQ(got, expected) << "search \"" << filter.search.toStdString() << "\" limit "
                                 << filter.limit << " pinboard " << filter.pinboardID.value_or(0)
                                 << " unfiled " << filter.onlyUnfiled << " kinds "
                                 << filter.kinds.size() << " sources "
                                 << filter.sourceBundleIDs.size();
        ++compared;
        nonEmpty += expected.empty() ? 0 : 1;
    }
    EXPECT_EQ(compared, 400);
    // The comparison means little if the searches mostly find nothing.
    EXPECT_GT(nonEmpty, 150);
}

// The walk that starts from the newest candidates alone pays only on histories of hundreds of
// thousands of items; told to take it whenever it can, it must still return the same rows, the
// older rows it meets (copied again lately) included.
TEST_F(SearchPlanTest, StartingFromTheNewestCandidatesReturnsTheSameRows)
{
    HistoryGenerator::fill(store(), 1500, 5);
    auto database = openDirectly();
    // Some of the oldest items, matching or not, copied again just now, as bumping does.
    const auto bump = [&](const QString &sql) {
        for (const auto &row : database->query(sql)) {
            database->query(QStringLiteral("UPDATE items SET created_at = (SELECT MAX(created_at) "
                                           "FROM items) + 1000 WHERE id = ?"),
                { *integerValue(row, QStringLiteral("id")) });
        }
    };
    bump(QStringLiteral("SELECT rowid AS id FROM items_fts WHERE items_fts MATCH '\"s\"*' "
                        "ORDER BY rowid LIMIT 6"));
    bump(QStringLiteral("SELECT id FROM items ORDER BY id LIMIT 6"));
    // Filed: some of the newest rows the unfiled cases find and some old ones copied again.
    const std::int64_t kept = store().createPinboard(QStringLiteral("Kept")).id;
    for (const QString &sql :
        { QStringLiteral("SELECT rowid AS id FROM items_fts WHERE items_fts "
                         "MATCH '\"c\"* OR \"h\"*' ORDER BY rowid DESC LIMIT 4"),
            QStringLiteral("SELECT rowid AS id FROM items_fts WHERE items_fts MATCH '\"s\"*' "
                           "ORDER BY rowid LIMIT 3") }) {
        for (const auto &row : database->query(sql))
            store().addItem(kept, *integerValue(row, QStringLiteral("id")));
    }
    std::set<std::int64_t> filed;
    for (const auto &row : database->query(QStringLiteral("SELECT item_id FROM pinboard_items")))
        filed.insert(*integerValue(row, QStringLiteral("item_id")));
    ASSERT_FALSE(filed.empty());
    // Taken whenever the newest do not list everything, with time enough to ask about every
    // older row met.
    const CandidateSearch::Tuning eager { 0, std::chrono::milliseconds(1) };
    struct Case
    {
        QString search;
        std::int64_t limit;
        std::set<ClipKind> kinds;
        bool onlyUnfiled;
    };
    const Case cases[] = {
        { QStringLiteral("s"), 1, {}, false },
        { QStringLiteral("s"), 7, {}, false },
        { QStringLiteral("t"), 40, {}, false },
        { QStringLiteral("c"), 40, {}, true },
        { QStringLiteral("a"), 33, { ClipKind::text }, false },
        { QStringLiteral("h"), 20, { ClipKind::link, ClipKind::text }, true },
        { QStringLiteral("co"), 25, {}, false },
        { QStringLiteral("meeting t"), 10, {}, false },
    };
    int startedFromNewest = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.search.toStdString() + " limit " + std::to_string(c.limit));
        ClipStore::Filter filter;
        filter.search = c.search;
        filter.limit = c.limit;
        filter.kinds = c.kinds;
        filter.onlyUnfiled = c.onlyUnfiled;

        HistorySelection selection;
        if (!c.kinds.empty()) {
            selection.conditions << QStringLiteral("items.kind IN (%1)")
                                        .arg(c.kinds.size() == 1 ? QStringLiteral("?")
                                                                 : QStringLiteral("?,?"));
            for (ClipKind kind : c.kinds)
                selection.bindings.emplace_back(storedString(kind));
        }
        selection.order = QStringLiteral(" ORDER BY items.created_at DESC");

        CandidateSearch search(*database, selection, QStringLiteral("items_fts"),
            ClipStore::ftsQuery(c.search), c.limit, eager);
        // The filed items are left out as the store leaves them out of the unfiled history.
        if (c.onlyUnfiled)
            search.excluding([&](std::int64_t id) { return filed.contains(id); });
        std::vector<std::int64_t> got;
        for (const ClipItem &item : search.run())
            got.push_back(item.id);
        const std::vector<std::int64_t> expected = oneStatementIDs(*database, filter);
        EXPECT_EQ(got, expected);
        EXPECT_EQ(std::int64_t(expected.size()), c.limit) << "the search should fill the limit";
        startedFromNewest += search.startedFromNewest() ? 1 : 0;
    }
    // Most of these must have taken the plan under test, not its fallback.
    EXPECT_GE(startedFromNewest, 5);

    // Pieces of words, found through several trigrams each and decided by LIKE.
    for (const auto &[piece, limit] :
        { std::pair { "cont", 9 }, std::pair { " con", 25 }, std::pair { " sta", 12 } }) {
        SCOPED_TRACE(piece);
        const QString pattern = ClipStore::likePattern(QString::fromLatin1(piece));
        HistorySelection selection;
        selection.conditions << QStringLiteral("(items.title LIKE ? ESCAPE '\\' OR "
                                               "items.subtitle LIKE ? ESCAPE '\\' OR "
                                               "items.text LIKE ? ESCAPE '\\')");
        selection.bindings = { pattern, pattern, pattern };
        selection.order = QStringLiteral(" ORDER BY items.created_at DESC, items.id DESC");
        QStringList trigrams;
        for (qsizetype i = 0; i + 3 <= qsizetype(std::strlen(piece)); ++i)
            trigrams << QLatin1Char('"') + QString::fromLatin1(piece + i, 3) + QLatin1Char('"');
        CandidateSearch search(*database, selection, QStringLiteral("items_trigrams"),
            trigrams.join(QLatin1Char(' ')), limit, eager);
        std::vector<std::int64_t> got;
        for (const ClipItem &item : search.run())
            got.push_back(item.id);
        std::vector<std::int64_t> expected;
        for (const auto &row : database->query(QStringLiteral("SELECT id FROM items WHERE ")
                     + selection.conditions.front() + selection.order + QStringLiteral(" LIMIT ?"),
                 { pattern, pattern, pattern, std::int64_t(limit) }))
            expected.push_back(*integerValue(row, QStringLiteral("id")));
        EXPECT_EQ(got, expected);
        EXPECT_EQ(std::int64_t(expected.size()), limit);
        EXPECT_TRUE(search.startedFromNewest());
    }
}

} // namespace
} // namespace corvane
