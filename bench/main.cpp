// The benchmarks of the store depend on the history sizes chosen at run time, so they are
// registered here rather than statically.
#include "benchsupport.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

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
