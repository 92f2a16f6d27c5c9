#pragma once

#include "store/sqlitedatabase.h"

#include <cstdint>

namespace corvane {

// What the database looked like at one moment, for caches of what was read from it: this
// connection's own changes and SQLite's counter of commits by every other connection, other
// processes included. Equal versions mean nothing was written in between.
struct DatabaseVersion
{
    std::int64_t ownChanges = 0;
    std::int64_t othersCommits = 0;

    bool operator==(const DatabaseVersion &) const = default;

    static DatabaseVersion current(SQLiteDatabase &database);
};

} // namespace corvane
