#include "databaseversion.h"

namespace corvane {

DatabaseVersion DatabaseVersion::current(SQLiteDatabase &database)
{
    DatabaseVersion version;
    version.ownChanges = database.changeCount();
    database.forEachRow(QStringLiteral("PRAGMA data_version"), {},
        [&](const SQLiteDatabase::Cursor &cursor) { version.othersCommits = cursor.integer(0); });
    return version;
}

} // namespace corvane
