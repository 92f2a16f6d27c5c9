#include "fileditemids.h"

#include <algorithm>

namespace corvane {

void FiledItemIDs::refresh(SQLiteDatabase &database)
{
    const DatabaseVersion version = DatabaseVersion::current(database);
    if (m_readAt == version)
        return;
    // Forgotten first: should the read fail, the next call reads again.
    m_readAt.reset();
    m_ids.clear();
    database.forEachRow(QStringLiteral("SELECT item_id FROM pinboard_items"), {},
        [&](const SQLiteDatabase::Cursor &cursor) { m_ids.push_back(cursor.integer(0)); });
    std::sort(m_ids.begin(), m_ids.end());
    m_readAt = version;
}

bool FiledItemIDs::contains(std::int64_t id) const
{
    return std::binary_search(m_ids.begin(), m_ids.end(), id);
}

} // namespace corvane
