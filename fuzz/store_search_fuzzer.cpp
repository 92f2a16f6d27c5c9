// Search text and filters of any kind against a small history: the query is never read as
// search index syntax or SQL, so no input may make `items` fail, and every item it gives
// passes the filter.

#include "fuzzsupport.h"
#include "store/clipstore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

using namespace corvane;

ClipStore *store = nullptr;
std::int64_t pinboardID = 0;

ClipCandidate candidate(ClipKind kind, const QString &text, const char *bundleID)
{
    ClipCandidate result;
    result.kind = kind;
    result.text = text.toUtf8();
    result.title = text.section(u'\n', 0, 0);
    result.byteCount = result.text->size();
    result.sourceBundleID = QString::fromUtf8(bundleID);
    result.capturedAt = now();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    static QTemporaryDir folder;
    static ClipStore instance(folder.filePath(QStringLiteral("Corvane")));
    store = &instance;
    const char *texts[] = { "hello world", "Grüße aus Köln", "100% \"quoted\" _under_score\\",
        "emoji 😀 and 👨‍👩‍👧 family", "NEAR(a b) OR c* AND -d ^e",
        "https://example.org/a?b=c", "#ff8800", "日本語のテキスト", "line one\nline two" };
    const ClipKind kinds[] = { ClipKind::text, ClipKind::text, ClipKind::text, ClipKind::text,
        ClipKind::text, ClipKind::link, ClipKind::color, ClipKind::text, ClipKind::text };
    const char *apps[] = { "org.example.a", "org.example.b", "" };
    const Pinboard board = store->createPinboard(QStringLiteral("Board"));
    pinboardID = board.id;
    for (int i = 0; i < 9; ++i) {
        const auto item
            = store->record(candidate(kinds[i], QString::fromUtf8(texts[i]), apps[i % 3]), 0, 0,
                ClipStore::payloadCapBytes);
        if (item && i % 2 == 0)
            store->addItem(board.id, item->id);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    ClipStore::Filter filter;
    const std::uint8_t flags = input.byte();
    for (ClipKind kind : allClipKinds) {
        if (flags & (1u << int(kind)))
            filter.kinds.insert(kind);
    }
    filter.onlyUnfiled = flags & 0x20;
    if (flags & 0x40)
        filter.pinboardID = (flags & 0x80) ? pinboardID : std::int64_t(input.byte()) - 128;
    filter.limit = std::int64_t(input.byte()) - 8;
    const std::uint8_t appCount = input.byte() % 3;
    for (int i = 0; i < appCount; ++i)
        filter.sourceBundleIDs.insert(input.text(32));
    filter.search = QString::fromUtf8(input.rest());

    // Database errors are not caught: any of them fails the run.
    const std::vector<ClipItem> items = store->items(filter);
    if (filter.limit > 0)
        FUZZ_CHECK(std::int64_t(items.size()) <= filter.limit);
    for (const ClipItem &item : items) {
        FUZZ_CHECK(item.id > 0);
        if (filter.onlyUnfiled)
            FUZZ_CHECK(store->pinboardIDs(item.id).empty());
        if (filter.pinboardID)
            FUZZ_CHECK(store->pinboardIDs(item.id).count(*filter.pinboardID) == 1);
    }
    (void)ClipStore::ftsQuery(filter.search.trimmed());
    (void)ClipStore::likePattern(filter.search);
    return 0;
}
