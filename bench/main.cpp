// The benchmarks of the store depend on the history sizes chosen at run time, so they are
// registered here rather than statically.
#include "benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <benchmark/benchmark.h>

namespace corvane::bench {

std::vector<int> historySizes()
{
    std::vector<int> sizes;
    const QString chosen = qEnvironmentVariable("CORVANE_BENCH_SIZES");
    for (const QString &piece : chosen.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool valid = false;
        const int size = piece.trimmed().toInt(&valid);
        if (valid && size > 0)
            sizes.push_back(size);
    }
    if (sizes.empty()) {
        sizes = { 10'000, 100'000 };
        if (qEnvironmentVariableIsSet("CORVANE_BENCH_LARGE"))
            sizes.push_back(1'000'000);
    }
    return sizes;
}

} // namespace corvane::bench

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const std::vector<int> sizes = corvane::bench::historySizes();
    corvane::bench::registerStoreBenchmarks(sizes);
    corvane::bench::registerServerBenchmarks(*std::min_element(sizes.begin(), sizes.end()));
    corvane::bench::registerStartupBenchmarks(sizes);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
