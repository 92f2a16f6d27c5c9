#pragma once

#include "store/databaseversion.h"
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
    std::optional<DatabaseVersion> m_readAt;
    std::vector<std::int64_t> m_ids; // sorted
};

} // namespace corvane
