#include "candidatesearch.h"

#include "store/rowreading.h"

#include <QHash>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

namespace corvane {

namespace {

using Value = SQLiteDatabase::Value;
using namespace std::chrono_literals;

// Ranking binds every candidate, and SQLite takes at most 32,766 parameters.
constexpr std::size_t maximumRanked = 30000;

// Listing ids from the index costs about 60 ns each for one word (several times that for
// several words). Asking the index about one given row costs about 65 µs for one
// word and far more for several, so older rows are asked about only while that is expected
// to cost less than listing every candidate, and never for longer than that would.
constexpr std::size_t maximumNewest = 20000;
constexpr std::size_t maximumOlderAsked = 256;
constexpr std::size_t olderAskedAtOnce = 16;
constexpr std::chrono::nanoseconds askingCostPerRow = 65us;

// The phrases of an expression of quoted phrases ("a"* "b"): how many, and how many of them
// are prefixes (a star after the closing quote). A quote inside a phrase is doubled.
struct Phrases
{
    int count = 0;
    int prefixes = 0;
};

Phrases phrasesOf(const QString &match)
{
    Phrases phrases;
    bool inPhrase = false;
    for (qsizetype i = 0; i < match.size(); ++i) {
        if (match[i] != u'"')
            continue;
        if (inPhrase && i + 1 < match.size() && match[i + 1] == u'"') {
            ++i;
        } else {
            inPhrase = !inPhrase;
            phrases.count += inPhrase ? 1 : 0;
            phrases.prefixes += !inPhrase && i + 1 < match.size() && match[i + 1] == u'*' ? 1 : 0;
        }
    }
    return phrases;
}

std::vector<Value> asValues(const std::vector<std::int64_t> &ids)
{
    return std::vector<Value>(ids.begin(), ids.end());
}

} // namespace

CandidateSearch::CandidateSearch(SQLiteDatabase &database, const HistorySelection &selection,
    QString index, QString match, std::int64_t limit, Tuning tuning, qsizetype textByteLimit)
    : m_database(database)
    , m_selection(selection)
    , m_index(std::move(index))
    , m_match(std::move(match))
    , m_limit(limit)
    , m_textByteLimit(textByteLimit)
    , m_tuning(tuning)
{ }

std::vector<ClipItem> CandidateSearch::run()
{
    if (m_limit == 0)
        return {};
    countRows();

    // A pinboard is walked in its own order, which meets old rows as often as new ones, and
    // an unlimited search keeps every candidate: both list them all at once. So does an
    // expression of several prefixes, whose every listing first spends milliseconds merging
    // the lists of the words they start, and which lists newest first only slowly. Several
    // whole terms (the trigrams of a piece of a word) list newest first as fast as one.
    const Phrases phrases = phrasesOf(m_match);
    if (!m_selection.joins.isEmpty() || m_limit < 0 || (phrases.count != 1 && phrases.prefixes > 0))
        return rankAll(gatherCandidates({}, {}));

    // Otherwise the newest candidates are listed first, a few times the limit: a walk by date
    // that keeps limit rows meets few others, and most searches list everything right there.
    const auto newestCount
        = std::size_t(std::clamp<std::int64_t>(8 * m_limit, 256, std::int64_t(maximumNewest)));
    const Ids newest = listCandidates(
        QStringLiteral(" ORDER BY rowid DESC LIMIT ?"), { std::int64_t(newestCount) + 1 });
    if (newest.empty())
        return {};
    if (newest.size() <= newestCount)
        return rankAll(Ids(newest.rbegin(), newest.rend()));
    // Listing the rest pays unless there are so many that the walk is the cheaper part.
    const double density = double(newest.size()) / double(m_rows - newest.back() + 1);
    if (density * double(m_rows) >= m_tuning.minimumCandidatesToSkipListing) {
        if (const std::optional<Ids> ranked = rankFromNewest(newest)) {
            m_startedFromNewest = true;
            return rowsInOrder(*ranked);
        }
    }
    Ids candidates = gatherCandidates(QStringLiteral(" AND rowid < ?"), { newest.back() });
    candidates.insert(candidates.end(), newest.rbegin(), newest.rend());
    return rankAll(candidates);
}

std::vector<ClipItem> CandidateSearch::rank(const Ids &candidates)
{
    if (m_limit == 0)
        return {};
    countRows();
    return rankAll(candidates);
}

CandidateSearch::Ids CandidateSearch::withoutExcluded(Ids ids) const
{
    if (m_excluded)
        std::erase_if(ids, m_excluded);
    return ids;
}

void CandidateSearch::countRows()
{
    m_rows = rows::firstInteger(
        m_database.query(QStringLiteral("SELECT COALESCE(MAX(id), 0) AS m FROM items")),
        QStringLiteral("m"), 0);
}

std::vector<ClipItem> CandidateSearch::rankAll(const Ids &listed)
{
    const Ids candidates = withoutExcluded(listed);
    if (candidates.empty())
        return {};
    return rowsInOrder(
        walkingPays(candidates.size()) ? rankByWalking(candidates) : rankFew(candidates));
}

// The index's ids for the expression, with clauses (and their bindings) after the MATCH.
CandidateSearch::Ids CandidateSearch::listCandidates(
    const QString &clauses, const std::vector<Value> &more)
{
    std::vector<Value> bindings { m_match };
    bindings.insert(bindings.end(), more.begin(), more.end());
    Ids ids;
    m_database.forEachRow(
        QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?").arg(m_index) + clauses, bindings,
        [&](const SQLiteDatabase::Cursor &cursor) { ids.push_back(cursor.integer(0)); });
    return ids;
}

// The same in ascending order, gathered inside SQLite: for the long listings.
CandidateSearch::Ids CandidateSearch::gatherCandidates(
    const QString &clauses, const std::vector<Value> &more)
{
    std::vector<Value> bindings { m_match };
    bindings.insert(bindings.end(), more.begin(), more.end());
    Ids ids = m_database.gatherIntegers(QStringLiteral("rowid"),
        QStringLiteral("FROM %1 WHERE %1 MATCH ?").arg(m_index) + clauses, bindings);
    // The index visits its rows by ascending id; should a version of SQLite not, the ids
    // are put in order here rather than asked for in the statement, which would make them
    // pass through a sorter.
    if (!std::is_sorted(ids.begin(), ids.end()))
        std::sort(ids.begin(), ids.end());
    return ids;
}

// Whether walking the selection beats ranking this many candidates. A walk visits about
// rows × limit / candidates entries, ranking costs a look-up per candidate; they cost the same
// near the square root of rows × limit (measured: a look-up costs about eight walked entries).
bool CandidateSearch::walkingPays(std::size_t count) const
{
    const std::int64_t wanted = m_limit < 0 ? m_rows : m_limit;
    const double threshold = std::max(
        256.0, std::sqrt(double(m_rows) * double(std::max<std::int64_t>(wanted, 1)) / 8));
    return double(count) > threshold || count > maximumRanked;
}

QString CandidateSearch::walkStatement() const
{
    // A pinboard's rows are sorted whole before the walk; their dates then come from the
    // dates index rather than from rows that may hold megabytes of text.
    QString sql = m_selection.joins.isEmpty()
        ? QStringLiteral("SELECT items.id FROM items")
        : QStringLiteral("SELECT items.id FROM items INDEXED BY items_dates");
    sql += m_selection.joins;
    if (!m_selection.conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + m_selection.conditions.join(QStringLiteral(" AND "));
    return sql + m_selection.order;
}

CandidateSearch::Ids CandidateSearch::rankByWalking(const Ids &candidates)
{
    Ids ranked;
    m_database.forEachRowWhile(
        walkStatement(), m_selection.bindings, [&](const SQLiteDatabase::Cursor &cursor) {
            const std::int64_t id = cursor.integer(0);
            if (std::binary_search(candidates.begin(), candidates.end(), id))
                ranked.push_back(id);
            return m_limit < 0 || std::int64_t(ranked.size()) < m_limit;
        });
    return ranked;
}

// Every candidate above the oldest listed one is known; a row below it is undecided until
// the index is asked. The walk stops once the known matches fill the limit: undecided rows
// that match only add matches before that point.
std::optional<CandidateSearch::Ids> CandidateSearch::rankFromNewest(const Ids &newestDescending)
{
    const Ids newest(newestDescending.rbegin(), newestDescending.rend());
    const std::int64_t oldestListed = newest.front();
    struct Walked
    {
        std::int64_t id;
        bool known;
    };
    std::vector<Walked> walked;
    Ids older;
    std::int64_t knownMatches = 0;
    m_database.forEachRowWhile(
        walkStatement(), m_selection.bindings, [&](const SQLiteDatabase::Cursor &cursor) {
            const std::int64_t id = cursor.integer(0);
            if (isExcluded(id))
                return true;
            if (id < oldestListed) {
                walked.push_back({ id, false });
                older.push_back(id);
            } else if (std::binary_search(newest.begin(), newest.end(), id)) {
                walked.push_back({ id, true });
                ++knownMatches;
            }
            return knownMatches < m_limit && older.size() <= maximumOlderAsked;
        });
    if (older.size() > maximumOlderAsked)
        return std::nullopt;
    // The older candidates are about as dense as the newest ones.
    const double density = double(newest.size()) / double(m_rows - oldestListed + 1);
    const auto listingCost = std::chrono::duration_cast<std::chrono::nanoseconds>(
        m_tuning.listingCostPerCandidate * density * double(oldestListed));
    if (askingCostPerRow * std::int64_t(older.size()) > listingCost)
        return std::nullopt;
    const std::optional<Ids> olderMatches = candidatesAmong(older, listingCost);
    if (!olderMatches)
        return std::nullopt;

    Ids ranked;
    for (const Walked &row : walked) {
        if (std::int64_t(ranked.size()) == m_limit)
            break;
        if (row.known || std::binary_search(olderMatches->begin(), olderMatches->end(), row.id))
            ranked.push_back(row.id);
    }
    return ranked;
}

// Which of these ids the index lists, sorted; nothing once asking has taken longer than the
// budget.
std::optional<CandidateSearch::Ids> CandidateSearch::candidatesAmong(
    const Ids &ids, std::chrono::nanoseconds budget)
{
    const auto started = std::chrono::steady_clock::now();
    Ids found;
    for (std::size_t first = 0; first < ids.size(); first += olderAskedAtOnce) {
        if (std::chrono::steady_clock::now() - started > budget)
            return std::nullopt;
        const Ids batch(ids.begin() + std::ptrdiff_t(first),
            ids.begin() + std::ptrdiff_t(std::min(ids.size(), first + olderAskedAtOnce)));
        const Ids listed = listCandidates(
            QStringLiteral(" AND rowid IN (") + rows::placeholders(batch.size()) + u')',
            asValues(batch));
        found.insert(found.end(), listed.begin(), listed.end());
    }
    std::sort(found.begin(), found.end());
    return found;
}

CandidateSearch::Ids CandidateSearch::rankFew(const Ids &candidates)
{
    QStringList conditions = m_selection.conditions;
    conditions << QStringLiteral("items.id IN (") + rows::placeholders(candidates.size())
            + QLatin1Char(')');
    std::vector<Value> bindings = m_selection.bindings;
    bindings.insert(bindings.end(), candidates.begin(), candidates.end());
    bindings.emplace_back(m_limit);
    Ids ranked;
    // The dates come from their own index, not from the rows.
    m_database.forEachRow(QStringLiteral("SELECT items.id FROM items INDEXED BY items_dates")
            + m_selection.joins + QStringLiteral(" WHERE ")
            + conditions.join(QStringLiteral(" AND ")) + m_selection.order
            + QStringLiteral(" LIMIT ?"),
        bindings,
        [&](const SQLiteDatabase::Cursor &cursor) { ranked.push_back(cursor.integer(0)); });
    return ranked;
}

// The rows with these ids, in the order of the ids.
std::vector<ClipItem> CandidateSearch::rowsInOrder(const Ids &ranked)
{
    std::vector<ClipItem> found;
    found.reserve(ranked.size());
    // An unlimited search can keep more rows than one statement takes parameters.
    for (std::size_t first = 0; first < ranked.size(); first += maximumRanked) {
        const std::vector<Value> batch(ranked.begin() + std::ptrdiff_t(first),
            ranked.begin() + std::ptrdiff_t(std::min(ranked.size(), first + maximumRanked)));
        std::vector<ClipItem> read = ClipItem::readAll(m_database,
            QStringLiteral("SELECT ")
                + (m_textByteLimit > 0 ? ClipItem::listedColumns(m_textByteLimit)
                                       : QStringLiteral("items.*"))
                + QStringLiteral(" FROM items WHERE items.id IN (")
                + rows::placeholders(batch.size()) + QLatin1Char(')'),
            batch, batch.size(), m_textByteLimit);
        std::move(read.begin(), read.end(), std::back_inserter(found));
    }
    QHash<std::int64_t, qsizetype> rank;
    rank.reserve(qsizetype(ranked.size()));
    for (std::size_t i = 0; i < ranked.size(); ++i)
        rank.insert(ranked[i], qsizetype(i));
    std::sort(found.begin(), found.end(), [&](const ClipItem &left, const ClipItem &right) {
        return rank.value(left.id) < rank.value(right.id);
    });
    return found;
}

} // namespace corvane
