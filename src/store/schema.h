#pragma once

#include "store/upgradeprogress.h"

#include <QStringList>

#include <chrono>

namespace corvane {

class SQLiteDatabase;

// The statements that take a new database to schema version 1, in order.
QStringList schemaStepOneStatements();

// The statements that take a version-1 database to version 2, in order.
QStringList schemaStepTwoStatements();

// The statements that take a version-2 database to version 3: the search indexes rebuilt
// from the rows, every table, column and trigger of version 2 kept.
QStringList schemaStepThreeStatements();

// The statements that take a version-3 database to version 4: one more index.
QStringList schemaStepFourStatements();

// The statements that take a version-4 database to version 5: the text recognised in
// images, in a table and indexes of its own.
QStringList schemaStepFiveStatements();

// The statements that take a version-5 database to version 6: indexes of the last two
// characters of the searched texts, of the history's and each pinboard's order and of the
// filed items' texts.
QStringList schemaStepSixStatements();

// The statements that take a version-6 database to version 7: the search indexes of the items
// and of the filed items hold at most the first searchedTextBytes of each text and title.
QStringList schemaStepSevenStatements();

// How much of an item's text and title the search indexes hold, in bytes of UTF-8 from the
// start (a character cut there is cut in the index too). Words past it are found neither by the
// word search nor by the substring search, which the trigram index narrows. Indexing a text
// reads it as a NUL-terminated string, which SQLite copies whole when the bound value is not
// known to end in a NUL: the cap, taken on the bytes, spares that copy of a text of megabytes
// and the work of indexing it. The number is written into the file's triggers and view by
// step 7; another one takes a step of its own.
inline constexpr int searchedTextBytes = 1'048'576;

// The SQL expression of the part of a text or title column that the search indexes hold:
// at most searchedTextBytes of it, taken as bytes so that SQLite never copies the whole
// value. NULL stays NULL.
QString searchedPart(const QString &column);

// The schema version this build writes and reads.
inline constexpr int currentSchemaVersion = 7;

// How long opening an older file waits for the write lock while another process upgrades it.
inline constexpr std::chrono::milliseconds upgradeBusyTimeout { 180'000 };

// Brings the database to the current version, one transaction per step; a failed step
// is rolled back and its error thrown, leaving the version it had before. While it runs,
// the connection waits up to upgradeBusyTimeout for the write lock instead of the usual one.
// An upgrade that runs longer than timing.announceAfter logs its start, its progress and its
// duration (lcStore).
void upgradeSchema(SQLiteDatabase &database, UpgradeProgress::Timing timing = {});

} // namespace corvane
