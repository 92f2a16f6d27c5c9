#pragma once

#include "store/clipitem.h"
#include "store/sqlitedatabase.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace corvane {

// The parts of the history statement that restrict and order it, without the search.
struct HistorySelection
{
    QString joins;
    QStringList conditions;
    std::vector<SQLiteDatabase::Value> bindings;
    QString order;
};

struct CandidateSearchTuning
{
    // How many candidates there must be (as estimated from the newest) before the walk by date
    // starts from the newest alone. Below that, listing them all costs little.
    double minimumCandidatesToSkipListing = 50000;
    // What listing one candidate costs, against which asking about older rows one by one
    // (about 65 µs each for one word) is weighed and given its time.
    std::chrono::nanoseconds listingCostPerCandidate { 60 };
};

// The matching rows, newest first (or in the pinboard's order), of a selection further
// restricted to the rows a search index lists for one MATCH expression. The rows and their
// order are those of the plain join of the index; only the plan differs, chosen by how many
// rows the index lists. Every plan puts only ids through the ordering, since a candidate may
// be a text of megabytes and sorting whole rows copies every one of them, and reads the rows
// it keeps last.
//
// - Few candidates: the rows with those ids are ranked through the dates index alone.
// - Many: the selection is walked in its order, each row tested against the candidates in a
//   sorted list, and the walk stops at the limit. (Handing tens of thousands of ids to SQLite
//   as an IN table cost more than the rest of the query.)
// - So many that listing them all costs more than the walk (a first letter on a long
//   history, on the Clipboard tab): only the newest are listed, which covers nearly every
//   row a walk by date meets; the few older rows it meets (copied again lately) are asked of
//   the index a few at a time. When that turns out dear, the rest are listed after all.
class CandidateSearch
{
public:
    using Tuning = CandidateSearchTuning;

    // textByteLimit cuts the texts of the rows found as ClipItem::readAll does.
    CandidateSearch(SQLiteDatabase &database, const HistorySelection &selection, QString index,
        QString match, std::int64_t limit, Tuning tuning = {}, qsizetype textByteLimit = 0);

    std::vector<ClipItem> run();

    // The matching rows among candidates found some other way (sorted ids, a superset of the
    // rows that match), by the same plans; the index and expression are not used.
    std::vector<ClipItem> rank(const std::vector<std::int64_t> &candidates);

    // Leaves out the rows for which excluded holds, as a condition of the selection would: for
    // a set held in memory (the filed items), testing it here costs a fraction of testing it
    // in SQL on every row a walk passes.
    CandidateSearch &excluding(std::function<bool(std::int64_t)> excluded)
    {
        m_excluded = std::move(excluded);
        return *this;
    }

    // Whether the last run answered from the newest candidates alone, without its fallback.
    bool startedFromNewest() const { return m_startedFromNewest; }

private:
    using Ids = std::vector<std::int64_t>;

    Ids listCandidates(const QString &clauses, const std::vector<SQLiteDatabase::Value> &more);
    Ids gatherCandidates(const QString &clauses, const std::vector<SQLiteDatabase::Value> &more);
    // Ranks candidates listed in full, in ascending order.
    std::vector<ClipItem> rankAll(const Ids &candidates);
    std::optional<Ids> rankFromNewest(const Ids &newestDescending);
    std::optional<Ids> candidatesAmong(const Ids &ids, std::chrono::nanoseconds budget);
    Ids rankByWalking(const Ids &candidates);
    Ids rankFew(const Ids &candidates);
    void countRows();
    bool isExcluded(std::int64_t id) const { return m_excluded && m_excluded(id); }
    Ids withoutExcluded(Ids ids) const;
    std::vector<ClipItem> rowsInOrder(const Ids &ranked);
    QString walkStatement() const;
    bool walkingPays(std::size_t count) const;

    SQLiteDatabase &m_database;
    const HistorySelection &m_selection;
    QString m_index;
    QString m_match;
    std::int64_t m_limit;
    qsizetype m_textByteLimit;
    Tuning m_tuning;
    std::int64_t m_rows = 0;
    bool m_startedFromNewest = false;
    std::function<bool(std::int64_t)> m_excluded;
};

} // namespace corvane
