#pragma once

#include "store/clipstore.h"

#include <optional>
#include <vector>

namespace corvane {

// The history query as the plain single statements: the word index joined and every match
// sorted by date, and the substring scan of the whole table when that finds nothing. The
// store may answer faster by other plans but must return exactly these rows in this order;
// the benchmarks use them as the floor and the tests as the reference.
struct OneStatementQuery
{
    QString sql;
    std::vector<SQLiteDatabase::Value> bindings;

    // The indexed statement for the filter (the whole query when the search is empty).
    static OneStatementQuery indexed(const ClipStore::Filter &filter);
    // The substring scan that replaces an empty indexed result, or nothing when the search
    // is too short for it.
    static std::optional<OneStatementQuery> substring(const ClipStore::Filter &filter);
};

} // namespace corvane
