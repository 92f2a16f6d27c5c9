#pragma once

#include "common/timestamp.h"
#include "store/sqlitedatabase.h"

#include <QString>

#include <cstdint>

namespace corvane {

// A named, ordered collection of items that pruning never touches.
struct Pinboard
{
    std::int64_t id = 0;
    QString name;
    std::int64_t colorIndex = 0;
    std::int64_t sortOrder = 0;
    Timestamp createdAt = distantPast;
    std::int64_t itemCount = 0;

    bool operator==(const Pinboard &) const = default;

    // Reads a pinboard from a row; a missing or mistyped column gives its default.
    static Pinboard fromRow(const SQLiteDatabase::Row &row);
};

// An application that items were copied from, with how many items came from it.
struct SourceApp
{
    QString bundleID;
    QString name;
    std::int64_t itemCount = 0;

    bool operator==(const SourceApp &) const = default;

    // Reads a source application from a row; a missing or mistyped column gives its default.
    static SourceApp fromRow(const SQLiteDatabase::Row &row);
};

} // namespace corvane
