#include "store/clipitem.h"

#include <benchmark/benchmark.h>

namespace {

using corvane::ClipItem;
using corvane::ClipKind;

// Recording fingerprints every copy, so a 32 MiB image must hash quickly.
void BM_FingerprintImagePayload(benchmark::State &state)
{
    const QByteArray payload(state.range(0), 'x');
    for (auto _ : state)
        benchmark::DoNotOptimize(corvane::fingerprint(ClipKind::image, std::nullopt, payload));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FingerprintImagePayload)->Arg(4 << 10)->Arg(32 << 20);

// The menu shows a one-line summary of each recent item.
void BM_SummaryOfLongText(benchmark::State &state)
{
    ClipItem item;
    item.title = QString(2000, QLatin1Char('w')) + QStringLiteral("\n\tline 😀");
    item.subtitle = QStringLiteral("a second line");
    for (auto _ : state)
        benchmark::DoNotOptimize(item.summary(52));
}
BENCHMARK(BM_SummaryOfLongText);

} // namespace
