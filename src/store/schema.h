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

// The schema version this build writes and reads.
inline constexpr int currentSchemaVersion = 6;

// How long opening an older file waits for the write lock while another process upgrades it.
inline constexpr std::chrono::milliseconds upgradeBusyTimeout { 180'000 };

// Brings the database to the current version, one transaction per step; a failed step
// is rolled back and its error thrown, leaving the version it had before. While it runs,
// the connection waits up to upgradeBusyTimeout for the write lock instead of the usual one.
// An upgrade that runs longer than timing.announceAfter logs its start, its progress and its
// duration (lcStore).
void upgradeSchema(SQLiteDatabase &database, UpgradeProgress::Timing timing = {});

} // namespace corvane
