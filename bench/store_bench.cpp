// The history panel's queries and recording on generated histories, each next to its floor:
// the plain single statement (or a bare INSERT) through the SQLite C API on the same file, run
// in the same iteration so that both see the same machine load.
#include "benchsupport.h"
#include "historygenerator.h"
#include "mcp/mcptools.h"
#include "onestatementquery.h"
#include "panel/historymodel.h"
#include "store/clipstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <benchmark/benchmark.h>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>

namespace corvane::bench {

namespace {

sqlite3 *openRaw(const QString &path)
{
    sqlite3 *handle = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &handle,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr)
        != SQLITE_OK) {
        sqlite3_close_v2(handle);
        throw std::runtime_error("Could not open the generated history");
    }
    sqlite3_busy_timeout(handle, 3000);
    return handle;
}

struct RawStatement
{
    sqlite3_stmt *statement = nullptr;
    ~RawStatement() { sqlite3_finalize(statement); }
};

void bind(sqlite3_stmt *statement, const std::vector<SQLiteDatabase::Value> &bindings)
{
    int index = 1;
    for (const SQLiteDatabase::Value &value : bindings) {
        if (const auto *integer = std::get_if<std::int64_t>(&value))
            sqlite3_bind_int64(statement, index, *integer);
        else if (const auto *text = std::get_if<QString>(&value))
            sqlite3_bind_text(statement, index, text->toUtf8().constData(), -1, SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(statement, index);
        ++index;
    }
}

// Runs the statement and reads every column of every row, as a caller must to use them.
std::size_t runRaw(sqlite3 *database, const OneStatementQuery &query)
{
    RawStatement raw;
    if (sqlite3_prepare_v2(database, query.sql.toUtf8().constData(), -1, &raw.statement, nullptr)
        != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(database));
    bind(raw.statement, query.bindings);
    std::size_t rows = 0;
    std::int64_t touched = 0;
    const int columns = sqlite3_column_count(raw.statement);
    while (sqlite3_step(raw.statement) == SQLITE_ROW) {
        ++rows;
        for (int column = 0; column < columns; ++column) {
            switch (sqlite3_column_type(raw.statement, column)) {
            case SQLITE_INTEGER:
                touched += sqlite3_column_int64(raw.statement, column);
                break;
            case SQLITE_TEXT:
                touched += *sqlite3_column_text(raw.statement, column);
                touched += sqlite3_column_bytes(raw.statement, column);
                break;
            case SQLITE_BLOB:
                benchmark::DoNotOptimize(sqlite3_column_blob(raw.statement, column));
                touched += sqlite3_column_bytes(raw.statement, column);
                break;
            default:
                break;
            }
        }
    }
    benchmark::DoNotOptimize(touched);
    return rows;
}

std::size_t oneStatementItems(sqlite3 *database, const ClipStore::Filter &filter)
{
    const std::size_t found = runRaw(database, OneStatementQuery::indexed(filter));
    if (found > 0)
        return found;
    const std::optional<OneStatementQuery> scan = OneStatementQuery::substring(filter);
    return scan ? runRaw(database, *scan) : 0;
}

// A generated history with two connections that search it the way the panel and the tool
// server do, keeping the search cache: the store, and the floor's plain C API one.
class History
{
public:
    explicit History(int size)
        : m_folder(HistoryGenerator::cachedStore(size))
        , m_store(std::make_unique<ClipStore>(m_folder))
        , m_raw(openRaw(m_folder + QStringLiteral("/history.sqlite")))
    {
        m_store->keepSearchCache(true);
        const std::string cacheSize
            = "PRAGMA cache_size = -" + std::to_string(ClipStore::searchPageCacheBytes / 1024);
        sqlite3_exec(m_raw, cacheSize.c_str(), nullptr, nullptr, nullptr);
        RawStatement largest;
        sqlite3_prepare_v2(m_raw,
            "SELECT pinboard_id FROM pinboard_items GROUP BY pinboard_id "
            "ORDER BY count(*) DESC LIMIT 1",
            -1, &largest.statement, nullptr);
        if (sqlite3_step(largest.statement) == SQLITE_ROW)
            m_pinboardID = sqlite3_column_int64(largest.statement, 0);
    }
    ~History() { sqlite3_close_v2(m_raw); }

    const QString &folder() const { return m_folder; }
    ClipStore &store() { return *m_store; }
    sqlite3 *raw() { return m_raw; }
    std::int64_t pinboardID() const { return m_pinboardID; }

private:
    QString m_folder;
    std::unique_ptr<ClipStore> m_store;
    sqlite3 *m_raw = nullptr;
    std::int64_t m_pinboardID = 0;
};

// Each size is generated (or taken from the cache) on first use and kept for the run.
History &history(int size)
{
    static std::map<int, std::unique_ptr<History>> opened;
    auto &slot = opened[size];
    if (!slot)
        slot = std::make_unique<History>(size);
    return *slot;
}

enum class Tab { clipboard, pinboard };

constexpr std::size_t floorSamples = 31;

// The panel and the tool server search alike: texts cut to their start, on a connection with
// the search cache. Should they come to differ, each needs a family of its own here.
static_assert(HistoryModel::cardTextByteLimit == searchToolTextByteLimit);

void items(benchmark::State &state, int size, Tab tab, QString search)
{
    History &shared = history(size);
    ClipStore::Filter filter;
    filter.search = search;
    filter.limit = 300;
    filter.textByteLimit = searchToolTextByteLimit;
    if (tab == Tab::clipboard)
        filter.onlyUnfiled = true;
    else
        filter.pinboardID = shared.pinboardID();

    std::vector<double> storeTimes;
    std::vector<double> floorTimes;
    std::size_t found = 0;
    std::size_t floorFound = 0;
    // The two alternate which goes first, so that neither always finds the caches warmed by
    // the other.
    bool floorFirst = false;
    const auto runFloor = [&] {
        // The floor can be a hundred times slower than the store; a few dozen samples give its
        // median without making the benchmark run for hours.
        if (floorTimes.size() >= floorSamples)
            return;
        state.PauseTiming();
        const double floorStart = threadSeconds();
        floorFound = oneStatementItems(shared.raw(), filter);
        floorTimes.push_back(threadSeconds() - floorStart);
        state.ResumeTiming();
    };
    for (auto _ : state) {
        if (floorFirst)
            runFloor();
        const double start = threadSeconds();
        {
            const std::vector<ClipItem> listed = shared.store().items(filter);
            found = listed.size();
            benchmark::DoNotOptimize(listed.data());
        }
        storeTimes.push_back(threadSeconds() - start);
        if (!floorFirst)
            runFloor();
        floorFirst = !floorFirst;
    }
    if (found != floorFound)
        state.SkipWithError("The store and the single statement found different counts");
    state.counters["items"] = double(found);
    state.counters["store_ms"] = median(storeTimes) * 1e3;
    state.counters["floor_ms"] = median(floorTimes) * 1e3;
    state.counters["ratio"] = median(storeTimes) / std::max(median(floorTimes), 1e-9);
}

// A private copy of the generated history, for benchmarks that write.
class HistoryCopy
{
public:
    explicit HistoryCopy(int size)
    {
        const QString source = history(size).folder();
        QDir().mkpath(folder());
        QFile::copy(source + QStringLiteral("/history.sqlite"),
            folder() + QStringLiteral("/history.sqlite"));
        m_store = std::make_unique<ClipStore>(folder());
        m_raw = openRaw(folder() + QStringLiteral("/history.sqlite"));
    }
    ~HistoryCopy() { sqlite3_close_v2(m_raw); }

    QString folder() const { return m_temporary.filePath(QStringLiteral("Corvane")); }
    ClipStore &store() { return *m_store; }
    sqlite3 *raw() { return m_raw; }

private:
    QTemporaryDir m_temporary;
    std::unique_ptr<ClipStore> m_store;
    sqlite3 *m_raw = nullptr;
};

// The bare INSERT of a new item through the C API, compiled once: what recording cannot beat.
class InsertFloor
{
public:
    explicit InsertFloor(sqlite3 *database)
    {
        sqlite3_prepare_v2(database,
            "INSERT INTO items (kind, text, title, subtitle, blob_name, file_bookmark, "
            "byte_count,\n                   source_bundle_id, source_app_name, created_at, "
            "last_used_at, fingerprint)\nVALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            -1, &m_insert.statement, nullptr);
    }

    void insert(const QString &text, std::int64_t millis, std::int64_t serial)
    {
        const QByteArray utf8 = text.toUtf8();
        const QByteArray print = "floor-" + QByteArray::number(serial);
        sqlite3_stmt *statement = m_insert.statement;
        sqlite3_bind_text(statement, 1, "text", -1, SQLITE_STATIC);
        sqlite3_bind_text(statement, 2, utf8.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 3, utf8.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_null(statement, 4);
        sqlite3_bind_null(statement, 5);
        sqlite3_bind_null(statement, 6);
        sqlite3_bind_int64(statement, 7, utf8.size());
        sqlite3_bind_text(statement, 8, "org.example.editor", -1, SQLITE_STATIC);
        sqlite3_bind_text(statement, 9, "Editor", -1, SQLITE_STATIC);
        sqlite3_bind_int64(statement, 10, millis);
        sqlite3_bind_int64(statement, 11, millis);
        sqlite3_bind_text(statement, 12, print.constData(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) != SQLITE_DONE)
            throw std::runtime_error("The floor INSERT failed");
        sqlite3_reset(statement);
    }

private:
    RawStatement m_insert;
};

ClipCandidate textCandidate(const QString &text)
{
    ClipCandidate candidate;
    candidate.text = text.toUtf8();
    candidate.title = text;
    candidate.byteCount = candidate.text->size();
    candidate.sourceBundleID = QStringLiteral("org.example.editor");
    candidate.sourceAppName = QStringLiteral("Editor");
    return candidate;
}

// A copy: new content becomes a new item (look-up by fingerprint, INSERT, read back); repeated
// content moves the existing item to the top (look-up, UPDATE).
void record(benchmark::State &state, int size, bool repeated)
{
    HistoryCopy copy(size);
    InsertFloor floor(copy.raw());
    const QString phrase = QStringLiteral("Notes from the meeting about the invoice number %1");
    ClipCandidate candidate = textCandidate(phrase.arg(-1));
    std::int64_t serial = 0;
    std::int64_t millis = toMillis(now());
    std::vector<double> storeTimes;
    std::vector<double> floorTimes;
    for (auto _ : state) {
        ++serial;
        ++millis;
        if (!repeated)
            candidate = textCandidate(phrase.arg(serial));
        candidate.capturedAt = fromMillis(millis);
        const double start = threadSeconds();
        benchmark::DoNotOptimize(copy.store().record(candidate, 0, 0, ClipStore::payloadCapBytes));
        storeTimes.push_back(threadSeconds() - start);

        state.PauseTiming();
        const double floorStart = threadSeconds();
        floor.insert(phrase.arg(serial), millis, serial);
        floorTimes.push_back(threadSeconds() - floorStart);
        state.ResumeTiming();
    }
    state.counters["store_us"] = median(storeTimes) * 1e6;
    state.counters["floor_us"] = median(floorTimes) * 1e6;
    // Above 1 is faster than the bare INSERT.
    state.counters["speed_vs_floor"] = median(floorTimes) / std::max(median(storeTimes), 1e-12);
}

struct Shape
{
    const char *name;
    const char *search;
};

// What the panel sees as the user types, from opening it to searches nothing answers.
const Shape shapes[] = {
    { "EmptySearch", "" },
    { "OneLetterPrefix", "s" },
    { "CommonPrefix", "con" },
    { "RarePrefix", "zelquo" },
    { "TwoWords", "meeting tom" },
    { "InsideWordsOnly", "xampl" },
    { "NothingMatches", "qxzq" },
    // Too short for the trigram index to narrow: the substring scan reads the whole table.
    { "TwoLettersNothingMatches", "qz" },
};

// A copy of the history in which one item in a hundred is an image with words read in it,
// spread over the history's dates, made once per size for the run.
HistoryCopy &historyWithImageTexts(int size)
{
    static std::map<int, std::unique_ptr<HistoryCopy>> made;
    auto &slot = made[size];
    if (slot)
        return *slot;
    slot = std::make_unique<HistoryCopy>(size);
    RawStatement range;
    sqlite3_prepare_v2(slot->raw(), "SELECT MIN(created_at), MAX(created_at) FROM items", -1,
        &range.statement, nullptr);
    sqlite3_step(range.statement);
    const std::int64_t low = sqlite3_column_int64(range.statement, 0);
    const std::int64_t high = sqlite3_column_int64(range.statement, 1);
    const std::vector<QString> &words = HistoryGenerator::vocabulary();
    std::mt19937 random(17);
    for (int i = 0; i < size / 100; ++i) {
        ClipCandidate candidate;
        candidate.kind = ClipKind::image;
        candidate.title = QStringLiteral("1920 × 1080");
        candidate.payload = QByteArray("image ") + QByteArray::number(i);
        candidate.byteCount = candidate.payload->size();
        candidate.capturedAt
            = fromMillis(low + std::int64_t(random() % std::uint64_t(high - low + 1)));
        const auto item = slot->store().record(candidate, 0, 0, ClipStore::payloadCapBytes);
        if (!item)
            continue;
        QStringList sentence;
        for (int word = 0, count = 20 + int(random() % 60); word < count; ++word)
            sentence << words[random() % words.size()];
        slot->store().setRecognizedText(item->id, sentence.join(QLatin1Char(' ')));
    }
    return *slot;
}

// What searching the words read in images adds: the same search on the history with and
// without them, alternating.
void itemsWithImageTexts(benchmark::State &state, int size, QString search)
{
    History &plain = history(size);
    HistoryCopy &withImages = historyWithImageTexts(size);
    ClipStore::Filter filter;
    filter.search = search;
    filter.limit = 300;
    filter.onlyUnfiled = true;
    std::vector<double> withTimes;
    std::vector<double> withoutTimes;
    std::size_t found = 0;
    for (auto _ : state) {
        double start = threadSeconds();
        found = withImages.store().items(filter).size();
        withTimes.push_back(threadSeconds() - start);
        state.PauseTiming();
        start = threadSeconds();
        benchmark::DoNotOptimize(plain.store().items(filter).size());
        withoutTimes.push_back(threadSeconds() - start);
        state.ResumeTiming();
    }
    state.counters["items"] = double(found);
    state.counters["with_images_ms"] = median(withTimes) * 1e3;
    state.counters["without_ms"] = median(withoutTimes) * 1e3;
    state.counters["added_ms"] = (median(withTimes) - median(withoutTimes)) * 1e3;
}

} // namespace

void registerStoreBenchmarks(const std::vector<int> &sizes)
{
    for (const int size : sizes) {
        for (const Tab tab : { Tab::clipboard, Tab::pinboard }) {
            for (const Shape &shape : shapes) {
                const std::string name = "Items/" + std::to_string(size)
                    + (tab == Tab::clipboard ? "/Clipboard/" : "/Pinboard/") + shape.name;
                const QString search = QString::fromUtf8(shape.search);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State &state) {
                    items(state, size, tab, search);
                })->Unit(benchmark::kMillisecond);
            }
        }
    }
    // A copy of a million items would take longer to make than to measure.
    for (const int size : sizes) {
        if (size > 100'000)
            continue;
        for (const Shape &shape : shapes) {
            const std::string name = "ImageTexts/" + std::to_string(size) + "/" + shape.name;
            const QString search = QString::fromUtf8(shape.search);
            benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State &state) {
                itemsWithImageTexts(state, size, search);
            })->Unit(benchmark::kMillisecond);
        }
    }
    // Recording barely depends on the history's size; a million-item copy would take longer
    // to make than to measure.
    for (const int size : sizes) {
        if (size > 100'000)
            continue;
        for (const bool repeated : { false, true }) {
            const std::string name = "Record/" + std::to_string(size)
                + (repeated ? "/RepeatedContent" : "/NewContent");
            benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State &state) {
                record(state, size, repeated);
            })->Unit(benchmark::kMicrosecond);
        }
    }
}

} // namespace corvane::bench
