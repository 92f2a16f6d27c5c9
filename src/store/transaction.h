#pragma once

#include "store/sqlitedatabase.h"

#include <type_traits>
#include <utility>

namespace corvane {

// Runs body between begin and "COMMIT" and gives what body returns. If body or the commit
// throws, the transaction is rolled back (a failure to do so ignored: the first error is the
// one worth reporting) and the error is rethrown; nothing body did stays.
template <typename Body>
auto inTransaction(SQLiteDatabase &database, const QString &begin, Body &&body)
{
    database.query(begin);
    try {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            database.query(QStringLiteral("COMMIT"));
        } else {
            auto result = body();
            database.query(QStringLiteral("COMMIT"));
            return result;
        }
    } catch (...) {
        try {
            database.rollBack();
        } catch (const SQLiteDatabase::Error &) { }
        throw;
    }
}

// A write transaction: "BEGIN IMMEDIATE" holds the write lock from the start.
template <typename Body> void inWriteTransaction(SQLiteDatabase &database, Body &&body)
{
    inTransaction(database, QStringLiteral("BEGIN IMMEDIATE"), std::forward<Body>(body));
}

// A read transaction, so that every statement body runs sees the database in the same state
// even while another process commits. Inside a transaction already open on the connection,
// body simply runs in that one.
template <typename Body> auto inReadTransaction(SQLiteDatabase &database, Body &&body)
{
    if (database.inTransaction())
        return body();
    return inTransaction(database, QStringLiteral("BEGIN"), std::forward<Body>(body));
}

} // namespace corvane
