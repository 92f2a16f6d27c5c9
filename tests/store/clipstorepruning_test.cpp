#include "storetestsupport.h"

#include <QFile>

#include <thread>

namespace corvane {
namespace {

using test::StoreTest;

class PruningTest : public StoreTest
{
protected:
    // An image whose payload file is named after its content.
    std::int64_t addImage(const char *bytes, Timestamp capturedAt)
    {
        ClipCandidate candidate = image(QByteArray(bytes));
        candidate.capturedAt = capturedAt;
        return add(candidate);
    }
    static ClipCandidate textAt(const char *content, Timestamp capturedAt)
    {
        ClipCandidate candidate = text(QString::fromLatin1(content));
        candidate.capturedAt = capturedAt;
        return candidate;
    }

    QString blobOf(std::int64_t id) { return store().item(id)->blobName.value_or(QString()); }

    bool exists(std::int64_t id) { return store().item(id).has_value(); }

    static void writeFile(const QString &filePath) { test::writeFile(filePath, "keep me"); }

    static QStringList sorted(QStringList names)
    {
        names.sort();
        return names;
    }

    static Timestamp hoursAgo(int hours) { return now() - std::chrono::hours(hours); }
};

TEST_F(PruningTest, PruningByCountAndAgeNeverTouchesPinboardItems)
{
    const Pinboard board = store().createPinboard(QStringLiteral("Keep"));
    // Oldest first: two filed items, then five unfiled ones, images among both.
    const std::int64_t filedOld = addImage("filed old", hoursAgo(24 * 400));
    const std::int64_t filedText = add(textAt("filed text", hoursAgo(24 * 300)));
    store().addItem(board.id, filedOld);
    store().addItem(board.id, filedText);
    std::vector<std::int64_t> unfiled;
    const int ages[] = { 100, 90, 80, 49, 46 };
    for (int i = 0; i < 5; ++i) {
        const QByteArray bytes = "unfiled " + QByteArray::number(i);
        unfiled.push_back(addImage(bytes.constData(), hoursAgo(ages[i])));
    }
    const QString filedBlob = blobOf(filedOld);
    const QString oldestBlob = blobOf(unfiled[0]);
    EXPECT_EQ(blobFiles().size(), 6);

    // The next new recording applies the limits: item limit 3 keeps the three newest
    // unfiled items, the new one included.
    const std::int64_t generation = store().generation();
    const std::optional<ClipItem> recorded
        = store().record(textAt("next", hoursAgo(1)), 3, 0, ClipStore::payloadCapBytes);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(store().generation(), generation + 1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(exists(unfiled[i]), i >= 3) << i;
    EXPECT_TRUE(exists(filedOld));
    EXPECT_TRUE(exists(filedText));
    EXPECT_EQ(blobFiles(), sorted({ filedBlob, blobOf(unfiled[3]), blobOf(unfiled[4]) }));
    EXPECT_FALSE(blobFiles().contains(oldestBlob));

    // Day limit 2: an unfiled item 49 hours old goes, one 46 hours old stays, a filed item
    // of any age stays.
    store().record(textAt("later", now()), 0, 2, ClipStore::payloadCapBytes);
    EXPECT_FALSE(exists(unfiled[3]));
    EXPECT_TRUE(exists(unfiled[4]));
    EXPECT_TRUE(exists(filedOld));
    EXPECT_EQ(blobFiles(), sorted({ filedBlob, blobOf(unfiled[4]) }));

    // Limits of 0 (snippets, the tool server) and absurdly large ones never delete.
    for (std::int64_t limit :
        { std::int64_t(0), std::int64_t(-3), std::numeric_limits<std::int64_t>::max() }) {
        const std::int64_t before = store().statistics().itemCount;
        store().prune(limit, limit);
        EXPECT_EQ(store().statistics().itemCount, before) << limit;
    }
}

// Each copy is recorded with the item limit applied; a copy's time may equal or precede the
// others' when the clock was set back, yet the copy just made is never the one pruned, and
// of equal times the later recorded lists first.
TEST_F(PruningTest, TheItemLimitKeepsTheCopyJustMadeWhateverItsTime)
{
    const struct
    {
        const char *name;
        std::int64_t itemLimit;
        std::vector<int> minutes;
        std::vector<QString> kept;
    } cases[] = {
        { "limit of one", 1, { 0, 1, 2 }, { QStringLiteral("copy 2") } },
        { "equal times", 2, { 5, 5, 5 }, { QStringLiteral("copy 2"), QStringLiteral("copy 1") } },
        { "clock set back", 2, { 10, 20, 0 },
            { QStringLiteral("copy 1"), QStringLiteral("copy 2") } },
        { "clock set back, limit of one", 1, { 10, 0 }, { QStringLiteral("copy 1") } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ClipStore history(path(QString::fromLatin1(c.name)));
        for (std::size_t i = 0; i < c.minutes.size(); ++i) {
            const QString copy = QStringLiteral("copy %1").arg(i);
            EXPECT_TRUE(history.record(
                text(copy, c.minutes[i]), c.itemLimit, 0, ClipStore::payloadCapBytes))
                << copy.toStdString();
        }
        std::vector<QString> listed;
        for (const ClipItem &item : history.items(ClipStore::Filter { .limit = 10 }))
            listed.push_back(item.title);
        EXPECT_EQ(listed, c.kept);
    }
}

TEST_F(PruningTest, NewItemPrunedAtOnceGivesNothing)
{
    EXPECT_FALSE(
        store().record(textAt("ancient", hoursAgo(24 * 10)), 0, 1, ClipStore::payloadCapBytes));
    EXPECT_EQ(store().statistics().itemCount, 0);
    EXPECT_EQ(store().generation(), 1);
}

TEST_F(PruningTest, DeletingAndClearingRemoveRowsAndTheirFiles)
{
    const Pinboard board = store().createPinboard(QStringLiteral("Keep"));
    const std::int64_t filedImage = addImage("filed", at(0));
    const std::int64_t filedText = add(text(QStringLiteral("filed text"), 1));
    const std::int64_t looseImage = addImage("loose", at(2));
    const std::int64_t looseText = add(text(QStringLiteral("loose text"), 3));
    const std::int64_t doomed = addImage("doomed", at(4));
    for (std::int64_t id : { filedImage, filedText })
        store().addItem(board.id, id);
    store().setTrigger(filedText, QStringLiteral("ft"));
    const QString filedBlob = blobOf(filedImage);
    const QString looseBlob = blobOf(looseImage);

    // An explicit delete reaches pinboard items too, memberships and triggers with them.
    store().deleteItems({ doomed, filedText, 12345 });
    EXPECT_FALSE(exists(doomed));
    EXPECT_FALSE(exists(filedText));
    EXPECT_TRUE(store().triggerTable().isEmpty());
    EXPECT_EQ(store().pinboards().front().itemCount, 1);
    EXPECT_EQ(blobFiles(), sorted({ filedBlob, looseBlob }));

    store().clearHistory();
    EXPECT_FALSE(exists(looseImage));
    EXPECT_FALSE(exists(looseText));
    EXPECT_TRUE(exists(filedImage));
    EXPECT_EQ(blobFiles(), QStringList { filedBlob });
}

TEST_F(PruningTest, SweepRemovesEveryFileNoItemNames)
{
    const std::int64_t kept = addImage("kept", at(0));
    const QString keptBlob = blobOf(kept);
    const QString blobs = store().blobDirectory();
    writeFile(blobs + QStringLiteral("/stray.png"));
    writeFile(blobs + QStringLiteral("/.hidden"));
    writeFile(blobs + QLatin1Char('/') + QString(64, QLatin1Char('a')) + QStringLiteral(".data"));
    // A leftover temporary file of a write that never finished.
    writeFile(blobs + QLatin1Char('/') + QLatin1Char('.') + keptBlob + QStringLiteral(".Ab12Cd"));

    // A row far beyond the first slice of ids the sweep reads names a file too.
    const QString farBlob = QString(64, QLatin1Char('b')) + QStringLiteral(".data");
    writeFile(blobs + QLatin1Char('/') + farBlob);
    openDirectly()->query(
        QStringLiteral("INSERT INTO items (id, kind, title, blob_name, created_at, "
                       "last_used_at, fingerprint) VALUES (45000, 'image', 'far', "
                       "?, 1, 1, 'far')"),
        { farBlob });

    const std::int64_t generation = store().generation();
    store().sweepOrphanBlobs();
    EXPECT_EQ(blobFiles(), sorted({ keptBlob, farBlob }));
    EXPECT_EQ(store().generation(), generation);
}

TEST_F(PruningTest, MergingTheSearchIndexesInStepsFinishesAndKeepsEveryAnswer)
{
    // Without automatic merging every recording leaves a segment of its own behind, the
    // fragmented state a long history reaches.
    auto direct = openDirectly();
    for (const char *index : { "items_fts", "items_trigrams" })
        direct->query(QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('automerge', 0)")
                          .arg(QLatin1String(index)));
    for (int i = 0; i < 60; ++i)
        add(text(QStringLiteral("note %1 about zebra%2 crossings").arg(i).arg(i % 7), i));
    const std::vector<ClipStore::Filter> searches = {
        { .search = QStringLiteral("zebra3"), .limit = 100 },
        { .search = QStringLiteral("cross"), .limit = 100 },
        { .search = QStringLiteral("bra5 cro"), .limit = 100 },
    };
    std::vector<std::vector<QString>> before;
    for (const ClipStore::Filter &filter : searches)
        before.push_back(titles(filter));

    int steps = 0;
    while (store().mergeSearchIndexes(4) && steps < 10'000)
        ++steps;
    EXPECT_GT(steps, 0);
    EXPECT_LT(steps, 10'000);
    EXPECT_FALSE(store().mergeSearchIndexes(4));
    for (std::size_t i = 0; i < searches.size(); ++i)
        EXPECT_EQ(titles(searches[i]), before[i]) << searches[i].search.toStdString();
    for (const char *index : { "items_fts", "items_trigrams" })
        EXPECT_NO_THROW(
            direct->query(QStringLiteral("INSERT INTO %1 (%1) VALUES ('integrity-check')")
                              .arg(QLatin1String(index))));
}

TEST_F(PruningTest, TamperedBlobNamesNeverDeleteAnything)
{
    // Files outside "Blobs" that a tampered row might name.
    const QString outside = path(QStringLiteral("outside.data"));
    const QString database = storeDir() + QStringLiteral("/history.sqlite");
    writeFile(outside);
    const QString inside = store().blobDirectory() + QStringLiteral("/")
        + QString(64, QLatin1Char('A')) + QStringLiteral(".data");
    writeFile(inside);

    const QString names[] = {
        QStringLiteral("../../outside.data"),
        outside,
        QStringLiteral("../history.sqlite"),
        database,
        QString(64, QLatin1Char('A')) + QStringLiteral(".data"), // upper case
        QStringLiteral("/") + QString(63, QLatin1Char('a')) + QStringLiteral(".data"),
        QString(64, QLatin1Char('a')) + QStringLiteral(".data/.."),
    };
    auto direct = openDirectly();
    int minute = 0;
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const auto insertTampered = [&] {
            direct->query(QStringLiteral("INSERT INTO items (kind, title, blob_name, created_at, "
                                         "last_used_at, fingerprint) VALUES ('image', 'x', ?, ?, "
                                         "?, ?)"),
                { name, std::int64_t(minute), std::int64_t(minute),
                    QStringLiteral("tampered %1").arg(minute) });
            ++minute;
            return direct->lastInsertRowId();
        };
        store().deleteItems({ insertTampered() });
        insertTampered();
        store().clearHistory();
        insertTampered();
        store().prune(1, 0);
        store().prune(0, 1);
        store().sweepOrphanBlobs();
        EXPECT_TRUE(QFile::exists(outside));
        EXPECT_TRUE(QFile::exists(database));
        EXPECT_EQ(store().statistics().itemCount, 0);
    }
    // The upper-case name lies inside "Blobs" but no row may name it; only the sweep,
    // which lists the folder itself, removes it.
    EXPECT_FALSE(QFile::exists(inside));
}

TEST_F(PruningTest, TwoStoresOnOneFolderLoseNothing)
{
    ClipStore other(storeDir());
    const Pinboard board = store().createPinboard(QStringLiteral("Shared"));
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 40; ++i) {
        ClipStore &writer = i % 2 ? other : store();
        ClipCandidate candidate = i % 4 == 0 ? image("image " + QByteArray::number(i), i)
                                             : text(QStringLiteral("copy %1").arg(i), i);
        const std::optional<ClipItem> stored
            = writer.record(candidate, 0, 0, ClipStore::payloadCapBytes);
        ASSERT_TRUE(stored);
        ids.push_back(stored->id);
        // Repeats through the other store refresh instead of duplicating.
        candidate.capturedAt = at(100 + i);
        EXPECT_EQ((i % 2 ? store() : other).record(candidate, 0, 0, ClipStore::payloadCapBytes)->id,
            stored->id);
        writer.addItem(board.id, stored->id);
    }
    EXPECT_EQ(store().statistics().itemCount, 40);
    EXPECT_EQ(other.statistics().itemCount, 40);
    EXPECT_EQ(other.pinboards().front().itemCount, 40);
    EXPECT_EQ(blobFiles().size(), 10);
    // Each store counts only its own changes.
    EXPECT_EQ(store().generation(), 1 + 20 * 3);
    EXPECT_EQ(other.generation(), 20 * 3);
}

// Another process files an old item while this one prunes. The prune waits for that write and
// then sees the item as filed; it must not select it as unfiled first and delete it after.
TEST_F(PruningTest, AnItemFiledByAnotherProcessDuringAPruneIsKept)
{
    const Pinboard board = store().createPinboard(QStringLiteral("Keep"));
    const std::int64_t old = addImage("old image", hoursAgo(30));
    add(text(QStringLiteral("newer"), 0));
    const QString blob = blobOf(old);

    const std::unique_ptr<SQLiteDatabase> other = openDirectly();
    other->query(QStringLiteral("BEGIN IMMEDIATE"));
    other->query(QStringLiteral("INSERT INTO pinboard_items (pinboard_id, item_id, sort_order, "
                                "added_at) VALUES (?, ?, 0, 0)"),
        { board.id, old });
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other->query(QStringLiteral("COMMIT"));
    });
    store().prune(1, 1);
    committer.join();

    EXPECT_TRUE(exists(old));
    EXPECT_EQ(store().pinboardIDs(old), std::set<std::int64_t> { board.id });
    EXPECT_TRUE(QFile::exists(store().blobDirectory() + u'/' + blob));
}

} // namespace
} // namespace corvane
