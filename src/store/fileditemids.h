#pragma once

#include "store/sqlitedatabase.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

// The ids of every item on some pinboard, kept between reads of the history. Listing the
// unfiled history with "NOT IN (SELECT item_id FROM pinboard_items)" makes SQLite build this
// set again on every keystroke, which costs more than reading the rows shown; kept here, it
// is read again only after the database changed.
class FiledItemIDs
{
public:
    // Brings the set up to date with the database. Call it inside a read transaction, so that
    // the rows read next see the state the set was taken from.
    void refresh(SQLiteDatabase &database);

    std::size_t size() const { return m_ids.size(); }
    bool contains(std::int64_t id) const;

private:
    // What the database looked like when the set was read: this connection's own changes
    // and SQLite's counter of commits by every other connection, other processes included.
    struct Version
    {
        std::int64_t ownChanges = 0;
        std::int64_t othersCommits = 0;
        bool operator==(const Version &) const = default;
    };
    static Version currentVersion(SQLiteDatabase &database);

    std::optional<Version> m_readAt;
    std::vector<std::int64_t> m_ids; // sorted
};

} // namespace corvane
