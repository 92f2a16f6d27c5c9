#pragma once

#include <QString>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace corvane::bench {

// The history sizes to measure: CORVANE_BENCH_SIZES (comma separated) when set, otherwise
// 10,000 and 100,000 items, and 1,000,000 too when CORVANE_BENCH_LARGE is set.
std::vector<int> historySizes();

// CPU time of the calling thread, which other processes on a busy machine do not inflate.
inline double threadSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

inline double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(
        values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// Registration of the benchmarks that depend on the sizes, called from main.
void registerStoreBenchmarks(const std::vector<int> &sizes);
void registerServerBenchmarks(int size);
// The start-up tidying of each history size while a real tool server saves notes.
void registerStartupBenchmarks(const std::vector<int> &sizes);

} // namespace corvane::bench
