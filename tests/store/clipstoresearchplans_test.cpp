// The history query picks its plan by how many rows the search index lists; whatever the
// plan, the rows and their order must be those of the single statement that joins the index
// and sorts by date. Compared here over generated histories with repeat copies (so date order
// differs from insertion order), pinboards and random filters and searches.
#include "historygenerator.h"
#include "onestatementquery.h"
#include "storetestsupport.h"

#include <random>

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
{ };

TEST_F(SearchPlanTest, EveryPlanReturnsTheRowsAndOrderOfTheOneStatementQuery)
{
    const HistoryGenerator::Result history = HistoryGenerator::fill(store(), 1200, 7);
    auto database = openDirectly();

    // Texts to search for are taken from the stored rows, so that prefixes, whole words,
    // pieces inside words and across word breaks all occur, dense and rare.
    std::vector<QString> texts;
    for (const auto &row : database->query(QStringLiteral("SELECT text FROM items")))
        texts.push_back(*textValue(row, QStringLiteral("text")));
    std::mt19937 random(11);
    const auto below = [&](std::size_t bound) { return std::size_t(random() % bound); };
    const auto piece = [&] {
        const QString &text = texts[below(texts.size())];
        const qsizetype start = qsizetype(below(std::size_t(std::max<qsizetype>(text.size(), 1))));
        return text.mid(start, qsizetype(1 + below(9)));
    };
    const auto search = [&]() -> QString {
        const std::vector<QString> &words = HistoryGenerator::vocabulary();
        switch (below(9)) {
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
                "caf\xc3\xa9", "M\xc3\x9cLLER", "  spaced  out ", "-", "x\"y", "%", "__" };
            return QString::fromUtf8(odd[below(std::size(odd))]);
        }
        case 7:
            return QString();
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

} // namespace
} // namespace corvane
