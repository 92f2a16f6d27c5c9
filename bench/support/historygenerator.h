#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace corvane {

class ClipStore;

// Fills stores with histories that look like real ones, for the benchmarks and for tests that
// compare query plans: short phrases, sentences, links, code lines, paragraphs, colours, file
// paths and a few large texts, copied from a dozen applications over months, some copied
// again later (which moves them to the top, so date order differs from insertion order) and
// some filed on pinboards. Everything goes through ClipStore::record, so fingerprints and
// timestamps are those recording makes. The same seed and count give the same history.
class HistoryGenerator
{
public:
    struct Result
    {
        // The pinboards made, largest first.
        std::vector<std::int64_t> pinboardIDs;
        // The distinct items recorded.
        std::int64_t itemCount = 0;
    };

    // The words the texts are made of, common ones first.
    static const std::vector<QString> &vocabulary();

    // Records `count` copies (repeats included) into store.
    static Result fill(ClipStore &store, int count, unsigned seed = 42);

    // The same history written straight into the store's file with the statements recording
    // runs, thousands of copies per transaction: a million copies take minutes, not hours.
    static Result fillInBatches(const QString &directory, int count, unsigned seed = 42);

    // A store folder holding a generated history of `count` copies, made on first use under
    // the temporary folder and reused by later runs of the same build of the schema.
    static QString cachedStore(int count);
};

} // namespace corvane
