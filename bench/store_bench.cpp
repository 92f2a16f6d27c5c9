#include "store/clipstore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <memory>
#include <random>

namespace {

using corvane::ClipCandidate;
using corvane::ClipKind;
using corvane::ClipStore;

constexpr int historySize = 100'000;

// Pseudo-words from a small set of syllables give the search index a realistic spread of
// word starts: a few very common prefixes and a long tail.
const char *const syllables[] = { "ka", "lo", "mi", "ne", "ru", "sa", "ti", "vo", "ber", "con",
    "dar", "fen", "gil", "hor", "jun", "pas", "quo", "wes", "zel", "tra", "an", "el", "or", "us" };
const char *const commonWords[] = { "the", "and", "for", "with", "meeting", "invoice", "please",
    "thanks", "tomorrow", "password", "address", "link", "error", "build", "release" };

class History
{
public:
    History()
    {
        m_store = std::make_unique<ClipStore>(m_folder.path() + QStringLiteral("/Corvane"));
        std::mt19937 random(42);
        const auto word = [&] {
            if (random() % 3 == 0)
                return QString::fromLatin1(commonWords[random() % std::size(commonWords)]);
            QString made;
            const int parts = 2 + int(random() % 3);
            for (int i = 0; i < parts; ++i)
                made += QString::fromLatin1(syllables[random() % std::size(syllables)]);
            return made;
        };
        const auto sentence = [&](int words) {
            QStringList pieces;
            for (int i = 0; i < words; ++i)
                pieces << word();
            return pieces.join(QLatin1Char(' '));
        };

        const auto start = corvane::fromMillis(1'700'000'000'000);
        for (int i = 0; i < historySize; ++i) {
            ClipCandidate candidate;
            candidate.capturedAt = start + std::chrono::seconds(30 * i);
            candidate.sourceBundleID = QStringLiteral("org.example.app%1").arg(random() % 12);
            candidate.sourceAppName = QStringLiteral("App %1").arg(random() % 12);
            const unsigned shape = random() % 100;
            if (shape < 15) {
                // Links, whose paths hold long words that only match inside.
                candidate.kind = ClipKind::link;
                candidate.text = QStringLiteral("https://www.example.com/documentation/%1-%2")
                                     .arg(word())
                                     .arg(i);
                candidate.title = QStringLiteral("%1 %2").arg(word()).arg(i);
                candidate.subtitle = QStringLiteral("example.com");
            } else if (shape < 17) {
                candidate.kind = ClipKind::image;
                candidate.payload = QByteArray::number(i).repeated(64);
                candidate.title = QStringLiteral("%1 × %2").arg(100 + i % 900).arg(80 + i % 700);
                candidate.subtitle = QStringLiteral("1 KB");
            } else {
                candidate.kind = ClipKind::text;
                const QString firstLine = sentence(2 + int(random() % 8));
                const QString body = sentence(int(random() % 60));
                candidate.text = body.isEmpty() ? firstLine : firstLine + QLatin1Char('\n') + body;
                candidate.title = firstLine;
                if (!body.isEmpty())
                    candidate.subtitle = body.left(400);
            }
            candidate.byteCount
                = candidate.payload ? candidate.payload->size() : candidate.text->toUtf8().size();
            m_store->record(candidate, 0, 0, ClipStore::payloadCapBytes);
        }
    }

    ClipStore &store() { return *m_store; }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<ClipStore> m_store;
};

// Built once for every benchmark of this file: 100,000 records take a while.
History &history()
{
    static History shared;
    return shared;
}

void searchHistory(benchmark::State &state, const char *search)
{
    ClipStore &store = history().store();
    ClipStore::Filter filter;
    filter.search = QString::fromUtf8(search);
    filter.limit = 300;
    std::size_t found = 0;
    for (auto _ : state) {
        const auto items = store.items(filter);
        found = items.size();
        benchmark::DoNotOptimize(items.data());
    }
    state.counters["items"] = double(found);
}

// What the panel shows when it opens.
void BM_ItemsEmptySearch(benchmark::State &state)
{
    searchHistory(state, "");
}
BENCHMARK(BM_ItemsEmptySearch)->Unit(benchmark::kMillisecond);

// The first key typed: every word starting with the letter matches.
void BM_ItemsOneLetterPrefix(benchmark::State &state)
{
    searchHistory(state, "s");
}
BENCHMARK(BM_ItemsOneLetterPrefix)->Unit(benchmark::kMillisecond);

// A common word start, shared by many items.
void BM_ItemsCommonPrefix(benchmark::State &state)
{
    searchHistory(state, "con");
}
BENCHMARK(BM_ItemsCommonPrefix)->Unit(benchmark::kMillisecond);

// Text inside words only: the index finds nothing and the substring scan runs, stopping
// once it has enough matches.
void BM_ItemsFallbackMidWord(benchmark::State &state)
{
    searchHistory(state, "umentat");
}
BENCHMARK(BM_ItemsFallbackMidWord)->Unit(benchmark::kMillisecond);

// The worst case: neither the index nor the substring scan finds anything, so the whole
// history is scanned.
void BM_ItemsFallbackNoMatch(benchmark::State &state)
{
    searchHistory(state, "qxzq");
}
BENCHMARK(BM_ItemsFallbackNoMatch)->Unit(benchmark::kMillisecond);

// A repeat copy on a large history: one look-up by fingerprint and one update.
void BM_RecordRepeatCopy(benchmark::State &state)
{
    ClipStore &store = history().store();
    ClipCandidate candidate;
    candidate.text = QStringLiteral("a repeated copy");
    candidate.title = *candidate.text;
    candidate.byteCount = candidate.text->size();
    for (auto _ : state) {
        candidate.capturedAt = corvane::now();
        benchmark::DoNotOptimize(store.record(candidate, 0, 0, ClipStore::payloadCapBytes));
    }
}
BENCHMARK(BM_RecordRepeatCopy)->Unit(benchmark::kMicrosecond);

} // namespace
