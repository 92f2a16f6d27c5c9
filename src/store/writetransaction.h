#pragma once

#include "store/sqlitedatabase.h"

namespace corvane {

// Runs body between "BEGIN IMMEDIATE" and "COMMIT", so the write lock is held from the start.
// If body or the commit throws, "ROLLBACK" runs (its own failure ignored: the first error is
// the one worth reporting) and the error is rethrown; nothing body did stays.
template <typename Body> void inWriteTransaction(SQLiteDatabase &database, Body &&body)
{
    database.query(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        body();
        database.query(QStringLiteral("COMMIT"));
    } catch (...) {
        try {
            database.query(QStringLiteral("ROLLBACK"));
        } catch (const SQLiteDatabase::Error &) { }
        throw;
    }
}

} // namespace corvane
