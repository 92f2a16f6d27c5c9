#include "expansion/emojinametable.h"
#include "expansion/expansionmatcher.h"

#include <benchmark/benchmark.h>
#include <thread>
#include <vector>

namespace {

using corvane::ExpansionMatcher;

const QString noShortcodes = QStringLiteral("/nonexistent/EmojiShortcodes.json");

// The table is built once per process, in the background at start; this is that build on a
// thread that has already created the name transform.
void BM_BuildEmojiNameTable(benchmark::State &state)
{
    qsizetype entries = 0;
    for (auto _ : state) {
        const auto table = corvane::buildEmojiNameTable(noShortcodes);
        entries = table.size();
        benchmark::DoNotOptimize(entries);
    }
    state.counters["entries"] = double(entries);
}
BENCHMARK(BM_BuildEmojiNameTable)->Unit(benchmark::kMillisecond);

// The same on a fresh thread each time, as the warm-up runs it: includes creating the
// transform for that thread.
void BM_BuildEmojiNameTableOnNewThread(benchmark::State &state)
{
    for (auto _ : state) {
        std::thread builder([] {
            const auto table = corvane::buildEmojiNameTable(noShortcodes);
            benchmark::DoNotOptimize(table.size());
        });
        builder.join();
    }
}
BENCHMARK(BM_BuildEmojiNameTableOnNewThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// The trigger table the expander sees: every emoji name plus a few snippet triggers.
ExpansionMatcher::TriggerTable triggerTable()
{
    ExpansionMatcher::TriggerTable table = corvane::buildEmojiNameTable(noShortcodes);
    table.insert(QStringLiteral("sig"), QStringLiteral("Best regards,\nAda"));
    table.insert(QStringLiteral("sigs"), QStringLiteral("Ada and Bob"));
    table.insert(QStringLiteral("addr"), QStringLiteral("1 Main Street"));
    table.insert(QStringLiteral("caf\u00e9"), QStringLiteral("☕"));
    return table;
}

// One key report per code point, space as a word break with its key code.
struct Report
{
    QString characters;
    std::uint16_t keyCode;
};

std::vector<Report> reportsFor(const QString &text)
{
    std::vector<Report> reports;
    for (const char32_t scalar : text.toUcs4())
        reports.push_back(
            { QString::fromUcs4(&scalar, 1), std::uint16_t(scalar == U' ' ? 49 : 0) });
    return reports;
}

// Feeds the text over and over, one key per iteration, the way the expander does: the table
// is set before every report and the buffer emptied after every expansion.
void feedRepeatedly(benchmark::State &state, const QString &text)
{
    const ExpansionMatcher::TriggerTable triggers = triggerTable();
    const std::vector<Report> reports = reportsFor(text);
    ExpansionMatcher matcher;
    std::size_t next = 0;
    std::int64_t expansions = 0;
    for (auto _ : state) {
        const Report &report = reports[next];
        next = next + 1 == reports.size() ? 0 : next + 1;
        matcher.setTriggers(triggers);
        if (auto expansion = matcher.feed(report.characters, report.keyCode, 0)) {
            ++expansions;
            matcher.clearBuffer();
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["expansions"] = double(expansions);
}

void BM_FeedProse(benchmark::State &state)
{
    feedRepeatedly(state,
        QStringLiteral("Thanks for the quick reply, see you at 10:30 tomorrow ::sig "
                       "the weather is ::cyclone today and we ::sigs lunch "));
}
BENCHMARK(BM_FeedProse);

void BM_FeedAccentsAndEmoji(benchmark::State &state)
{
    feedRepeatedly(state,
        QStringLiteral("Ce caf\u00e9 cre\u0300me \U0001F44D\U0001F3FD d\u00e9j\u00e0 "
                       "\U0001F1EB\U0001F1F7 ::cafe\u0301 na\u00efve "));
}
BENCHMARK(BM_FeedAccentsAndEmoji);

// The worst case: a word longer than the buffer, so every key drops the oldest character and
// the prefix search runs over all 128.
void BM_FeedWordLongerThanTheBuffer(benchmark::State &state)
{
    feedRepeatedly(state, QString(300, QLatin1Char('x')) + QLatin1Char(' '));
}
BENCHMARK(BM_FeedWordLongerThanTheBuffer);

// A long word after the prefix, staying within the buffer: every key looks the candidate up
// in the table.
void BM_FeedLongCandidateAfterPrefix(benchmark::State &state)
{
    feedRepeatedly(state, QStringLiteral("::") + QString(120, QLatin1Char('y')) + QLatin1Char(' '));
}
BENCHMARK(BM_FeedLongCandidateAfterPrefix);

} // namespace
