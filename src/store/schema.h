#pragma once

#include <QStringList>

namespace corvane {

class SQLiteDatabase;

// The statements that take a new database to schema version 1, in order.
QStringList schemaStepOneStatements();

// The statements that take a version-1 database to version 2, in order.
QStringList schemaStepTwoStatements();

// The statements that take a version-2 database to version 3: the search indexes rebuilt
// from the rows, every table, column and trigger of version 2 kept.
QStringList schemaStepThreeStatements();

// The schema version this build writes and reads.
inline constexpr int currentSchemaVersion = 3;

// Brings the database to the current version, one transaction per step; a failed step
// is rolled back and its error thrown, leaving the version it had before.
void upgradeSchema(SQLiteDatabase &database);

} // namespace corvane
