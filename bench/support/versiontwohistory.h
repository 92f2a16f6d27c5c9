#pragma once

#include <QString>

namespace corvane {

class SQLiteDatabase;

// Histories as the application left them at schema version 2, made from current ones, to
// measure and test the upgrade on realistic data without keeping old builds around.
class VersionTwoHistory
{
public:
    // Takes a current database back to version 2: drops everything the later steps create and
    // gives the word index back its version-2 form, built from the rows. Throws
    // SQLiteDatabase::Error.
    static void downgrade(SQLiteDatabase &database);

    // A store folder holding the generated history of `count` copies at version 2, made on
    // first use under the temporary folder next to the current one, and reused.
    static QString cachedStore(int count);

    // Copies the store folder's database to a new store folder at target; whether it could.
    static bool copyStore(const QString &source, const QString &target);
};

} // namespace corvane
