#pragma once

#include <QString>
#include <QStringList>

namespace corvane {

class SQLiteDatabase;

// Histories as the application left them at schema version 6, made from current ones, to
// measure and test the upgrade to 7 on realistic data without keeping old builds around.
class VersionSixHistory
{
public:
    // The statements that take a current database back to version 6, to run in one
    // transaction: the search indexes of the items over the rows again, built whole, with
    // version 6's triggers and ends indexes, and the filed items indexed whole.
    static QStringList downgradeStatements();

    // Runs downgradeStatements in one transaction. Throws SQLiteDatabase::Error.
    static void downgrade(SQLiteDatabase &database);

    // A store folder holding the generated history of `count` copies at version 6, made on
    // first use under the temporary folder next to the current one, and reused.
    static QString cachedStore(int count);
};

} // namespace corvane
