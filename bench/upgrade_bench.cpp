// The one-time upgrade of a version-2 history to the current schema, as the first start of a
// new build runs it when the store opens.
#include "benchsupport.h"
#include "store/clipstore.h"
#include "store/schema.h"
#include "store/sqlitedatabase.h"
#include "store/transaction.h"
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
void runBareStatements(const QString &directory)
{
    SQLiteDatabase database(QDir(directory).filePath(QStringLiteral("history.sqlite")));
    for (const QStringList &statements : { schemaStepThreeStatements(), schemaStepFourStatements(),
             schemaStepFiveStatements(), schemaStepSixStatements() }) {
        inWriteTransaction(database, [&] {
            for (const QString &statement : statements)
                database.query(statement);
        });
    }
}

enum class Way { openStore, upgradeSchema, bareStatements };

void upgrade(benchmark::State &state, int size, Way way)
{
    const QString source = VersionTwoHistory::cachedStore(size);
    const double sourceBytes
        = double(QFileInfo(QDir(source).filePath(QStringLiteral("history.sqlite"))).size());
    for (auto _ : state) {
        QTemporaryDir temporary;
        const QString folder = temporary.filePath(QStringLiteral("Corvane"));
        if (!VersionTwoHistory::copyStore(source, folder)) {
            state.SkipWithError("could not copy the version-2 history");
            return;
        }
        const double start = wallSeconds();
        if (way == Way::bareStatements) {
            runBareStatements(folder);
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
    for (const int size : sizes) {
        for (const auto &[way, label] : { std::pair { Way::openStore, "/OpenStore" },
                 std::pair { Way::upgradeSchema, "/UpgradeSchema" },
                 std::pair { Way::bareStatements, "/BareStatements" } }) {
            const std::string name = "Upgrade/" + std::to_string(size) + label;
            benchmark::RegisterBenchmark(
                name.c_str(), [=](benchmark::State &state) { upgrade(state, size, way); })
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->Iterations(1);
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
