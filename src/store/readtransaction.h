#pragma once

#include "store/sqlitedatabase.h"

namespace corvane {

// Runs body inside one read transaction, so that every statement it runs sees the database
// in the same state even while another process commits. Inside a transaction already open
// on the connection, body simply runs in that one.
template <typename Body> auto inReadTransaction(SQLiteDatabase &database, Body &&body)
{
    if (database.inTransaction())
        return body();
    database.query(QStringLiteral("BEGIN"));
    try {
        auto result = body();
        database.query(QStringLiteral("COMMIT"));
        return result;
    } catch (...) {
        try {
            database.query(QStringLiteral("ROLLBACK"));
        } catch (const SQLiteDatabase::Error &) { }
        throw;
    }
}

} // namespace corvane
