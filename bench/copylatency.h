#pragma once

// The measuring both copy-to-row benchmarks share: a copy timed from the other client making
// it to its row being recorded, and the run's summary.

#include "eventloopwait.h"
#include "store/clipitem.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <optional>
#include <vector>

namespace corvane::bench {

// Copies by hand are seconds apart; 0.1 to 0.5 s keeps the run short without measuring the
// watcher's limit on reads for applications that copy in a loop, and spreads the copies over
// the phases of the watcher's tick.
inline void pauseBetweenCopies(QRandomGenerator &random)
{
    using namespace std::chrono_literals;
    test::spinUntil([] { return false; }, 100ms + std::chrono::milliseconds(random.bounded(400)));
}

// Times `copy` until `recorded` holds the row of `text`; adds the milliseconds to samples.
// False (and the benchmark marked failed) when the row never came.
template <typename Copy>
bool timeCopyToRow(benchmark::State &state, std::optional<ClipItem> &recorded, const QString &text,
    Copy copy, std::vector<double> &samples)
{
    using namespace std::chrono_literals;
    recorded.reset();
    QElapsedTimer clock;
    clock.start();
    copy();
    const bool arrived = test::spinUntil([&] { return recorded && recorded->text == text; }, 5s);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!arrived) {
        state.SkipWithError("the copy was not recorded");
        return false;
    }
    state.SetIterationTime(seconds);
    samples.push_back(seconds * 1000.0);
    return true;
}

// The median, longest and shortest copy of the run, as counters.
inline void reportCopyLatency(benchmark::State &state, std::vector<double> samples)
{
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    const double median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
    state.counters["median_ms"] = median;
    state.counters["max_ms"] = samples.back();
    state.counters["min_ms"] = samples.front();
}

} // namespace corvane::bench
