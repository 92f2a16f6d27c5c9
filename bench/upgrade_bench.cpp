// The one-time upgrade of a version-2 or version-6 history to the current schema, as the first
// start of a new build runs it when the store opens.
#include "benchsupport.h"
#include "store/clipstore.h"
#include "store/schema.h"
#include "store/sqlitedatabase.h"
#include "store/transaction.h"
#include "versionsixhistory.h"
#include "versiontwohistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <string>
#include <utility>

namespace corvane::bench {

namespace {

// Every later step's statements in one transaction each, without the store around them and
// without the progress reports: what the upgrade cannot beat.
void runBareStatements(const QString &directory, int fromVersion)
{
    SQLiteDatabase database(QDir(directory).filePath(QStringLiteral("history.sqlite")));
    const std::pair<int, QStringList> steps[] = { { 3, schemaStepThreeStatements() },
        { 4, schemaStepFourStatements() }, { 5, schemaStepFiveStatements() },
        { 6, schemaStepSixStatements() }, { 7, schemaStepSevenStatements() } };
    for (const auto &[version, statements] : steps) {
        if (version <= fromVersion)
            continue;
        inWriteTransaction(database, [&] {
            for (const QString &statement : statements)
                database.query(statement);
        });
    }
}

enum class Way { openStore, upgradeSchema, bareStatements };

void upgrade(benchmark::State &state, int fromVersion, int size, Way way)
{
    const QString source = fromVersion == 6 ? VersionSixHistory::cachedStore(size)
                                            : VersionTwoHistory::cachedStore(size);
    const double sourceBytes
        = double(QFileInfo(QDir(source).filePath(QStringLiteral("history.sqlite"))).size());
    for (auto _ : state) {
        QTemporaryDir temporary;
        const QString folder = temporary.filePath(QStringLiteral("Corvane"));
        if (!VersionTwoHistory::copyStore(source, folder)) {
            state.SkipWithError("could not copy the old history");
            return;
        }
        const double start = wallSeconds();
        if (way == Way::bareStatements) {
            runBareStatements(folder, fromVersion);
        } else if (way == Way::upgradeSchema) {
            // The upgrade with its count and progress reports, without the store's opening.
            SQLiteDatabase database(QDir(folder).filePath(QStringLiteral("history.sqlite")));
            upgradeSchema(database);
        } else {
            ClipStore store(folder);
        }
        state.SetIterationTime(wallSeconds() - start);
        state.counters["file_mb_before"] = sourceBytes / 1e6;
        state.counters["file_mb_after"]
            = double(QFileInfo(QDir(folder).filePath(QStringLiteral("history.sqlite"))).size())
            / 1e6;
    }
}

void registerUpgradeBenchmarks(const std::vector<int> &sizes)
{
    // From version 2, every step; from version 6, the last one alone.
    for (const auto &[fromVersion, prefix] :
        { std::pair { 2, "Upgrade/" }, std::pair { 6, "UpgradeFromSix/" } }) {
        for (const int size : sizes) {
            for (const auto &[way, label] : { std::pair { Way::openStore, "/OpenStore" },
                     std::pair { Way::upgradeSchema, "/UpgradeSchema" },
                     std::pair { Way::bareStatements, "/BareStatements" } }) {
                const std::string name = prefix + std::to_string(size) + label;
                benchmark::RegisterBenchmark(name.c_str(),
                    [=](benchmark::State &state) { upgrade(state, fromVersion, size, way); })
                    ->Unit(benchmark::kMillisecond)
                    ->UseManualTime()
                    ->Iterations(1);
            }
        }
    }
}

} // namespace

} // namespace corvane::bench

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    corvane::bench::registerUpgradeBenchmarks(corvane::bench::historySizes());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
