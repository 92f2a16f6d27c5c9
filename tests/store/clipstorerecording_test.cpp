#include "logcapture.h"
#include "store/filesystemerror.h"
#include "storetestsupport.h"

#include <QFile>

#include <sys/stat.h>

#include <functional>
#include <thread>

namespace corvane {
namespace {

using test::StoreTest;

class RecordingTest : public StoreTest
{
protected:
    // Records a candidate with no limits to prune by.
    std::optional<ClipItem> record(const ClipCandidate &candidate)
    {
        return store().record(candidate, 0, 0, ClipStore::payloadCapBytes);
    }
};

TEST_F(RecordingTest, RepeatCopyMovesToTheTopAndKeepsWhatWasFirstRecorded)
{
    ClipCandidate first = text(QStringLiteral("shared words"), 0);
    first.sourceBundleID = QStringLiteral("org.gnome.TextEditor");
    first.sourceAppName = QStringLiteral("Text Editor");
    const ClipItem original = *record(first);
    add(text(QStringLiteral("in between"), 1));
    EXPECT_EQ(store().generation(), 2);

    ClipCandidate again = first;
    again.title = QStringLiteral("another title");
    again.sourceBundleID = QStringLiteral("org.mozilla.firefox");
    again.sourceAppName = QStringLiteral("Firefox");
    again.capturedAt = at(5);
    const std::optional<ClipItem> repeat = store().record(again, 1, 1, ClipStore::payloadCapBytes);
    const ClipStore::Filter newestTen { .limit = 10 };
    ASSERT_TRUE(repeat);
    EXPECT_EQ(store().generation(), 3);

    ClipItem expected = original;
    expected.createdAt = at(5);
    expected.lastUsedAt = at(5);
    EXPECT_EQ(*repeat, expected);
    EXPECT_EQ(store().item(original.id), expected);
    // The repeat path never prunes, although its limits would have removed the others.
    EXPECT_EQ(titles(newestTen),
        (std::vector<QString> { QStringLiteral("shared words"), QStringLiteral("in between") }));
    EXPECT_EQ(original.fingerprint, fingerprintOfUtf8(ClipKind::text, first.text, std::nullopt));

    // Copied again in the same millisecond as a newer item: the order breaks equal times by
    // id, which the repeat keeps from long ago, so it is stamped just after that item.
    add(text(QStringLiteral("newer"), 6));
    again.capturedAt = at(6);
    const std::optional<ClipItem> sameInstant = record(again);
    ASSERT_TRUE(sameInstant);
    EXPECT_EQ(sameInstant->createdAt, at(6) + std::chrono::milliseconds(1));
    EXPECT_EQ(titles(newestTen),
        (std::vector<QString> { QStringLiteral("shared words"), QStringLiteral("newer"),
            QStringLiteral("in between") }));

    // A text is stored up to a NUL inside it: copies that differ only after it are one item.
    const QString withNul = QStringLiteral("kept") + QChar(u'\0') + QStringLiteral("gone");
    const ClipItem kept = *record(text(withNul, 7));
    EXPECT_EQ(kept.text, QStringLiteral("kept"));
    EXPECT_EQ(record(text(QStringLiteral("kept"), 8))->id, kept.id);
}

// Another process (a tool server saving what was just copied) can record the same contents
// after this store looked for them and before it writes them, which the contents'
// uniqueness then refuses. Recording takes that row as its own, moved to the top; an edit is
// refused as a duplicate, as it is when the row was there before.
TEST_F(RecordingTest, ContentsAnotherProcessRecordsMeanwhileCountAsRecordedBefore)
{
    // The other process's row is inserted at once and committed while this store waits to
    // write: its look-up does not see the row, its write meets it.
    const auto whileAnotherProcessRecords = [&](const QString &contents,
                                                const std::function<void()> &write) {
        const auto other = openDirectly();
        other->query(QStringLiteral("BEGIN IMMEDIATE"));
        other->query(QStringLiteral("INSERT INTO items (kind, text, title, created_at, "
                                    "last_used_at, fingerprint) VALUES ('text', ?, ?, 2, 2, ?)"),
            { contents, contents, fingerprint(ClipKind::text, contents, std::nullopt) });
        std::thread otherProcess([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            other->query(QStringLiteral("COMMIT"));
        });
        try {
            write();
        } catch (const std::exception &error) {
            ADD_FAILURE() << error.what();
        }
        otherProcess.join();
    };

    add(text(QStringLiteral("older"), 1));
    std::optional<ClipItem> item;
    whileAnotherProcessRecords(QStringLiteral("copied and saved"),
        [&] { item = record(text(QStringLiteral("copied and saved"), 5)); });
    ASSERT_TRUE(item);
    EXPECT_EQ(item->text, QStringLiteral("copied and saved"));
    EXPECT_EQ(item->createdAt, at(5));
    EXPECT_EQ(titles({ .limit = 10 }),
        (std::vector<QString> { QStringLiteral("copied and saved"), QStringLiteral("older") }));

    const std::int64_t note = add(text(QStringLiteral("note"), 6));
    whileAnotherProcessRecords(QStringLiteral("edited"), [&] {
        try {
            store().updateText(note, QStringLiteral("edited"));
            ADD_FAILURE() << "edit was accepted";
        } catch (const ClipStore::Error &error) {
            EXPECT_EQ(error, ClipStore::Error::duplicate());
        }
    });
    EXPECT_EQ(store().item(note)->text, QStringLiteral("note"));
}

// Recording hands back a long text cut to its start, new or repeated, and stores it whole.
TEST_F(RecordingTest, ALongTextIsStoredWholeAndHandedBackByItsStart)
{
    // Two-byte characters: the cut falls inside one unless it keeps whole characters.
    const QString longText = QStringLiteral("x") + QStringLiteral("\u00e9").repeated(40000);
    const QString cut = QStringLiteral("x")
        + QStringLiteral("\u00e9").repeated((ClipStore::recordedTextByteLimit - 1) / 2);
    const ClipItem shortItem = *record(text(QStringLiteral("short"), 0));
    EXPECT_FALSE(shortItem.isTextPartial);

    for (int minute : { 1, 2 }) {
        SCOPED_TRACE(minute == 1 ? "new" : "repeated");
        const std::optional<ClipItem> recorded = record(text(longText, minute));
        ASSERT_TRUE(recorded);
        EXPECT_TRUE(recorded->isTextPartial);
        EXPECT_EQ(recorded->text, cut);
        const std::optional<ClipItem> whole = store().item(recorded->id);
        ASSERT_TRUE(whole);
        EXPECT_EQ(whole->text, longText);
        ClipItem expected = *whole;
        expected.text = cut;
        expected.isTextPartial = true;
        EXPECT_EQ(*recorded, expected);
    }
}

TEST_F(RecordingTest, RefusedCandidatesStoreNothing)
{
    test::LogCapture log("com.ferrowen.corvane.store");
    QByteArray exactlyCap(ClipStore::payloadCapBytes, 'p');
    const ClipItem atCap = *record(image(exactlyCap));
    EXPECT_EQ(atCap.byteCount, ClipStore::payloadCapBytes);
    EXPECT_EQ(blobFiles(), QStringList { atCap.fingerprint + QStringLiteral(".data") });
    EXPECT_TRUE(log.messages().isEmpty());

    exactlyCap.append('x');
    ClipCandidate concealed = text(QStringLiteral("hunter2"));
    concealed.isConcealed = true;
    ClipCandidate concealedSmall = concealed;
    concealedSmall.byteCount = 0;
    ClipCandidate untitled = text(QStringLiteral("body"));
    untitled.title.clear();
    const struct
    {
        const char *name;
        ClipCandidate candidate;
    } refusals[] = {
        { "one byte over the cap", image(exactlyCap, 1) },
        { "concealed", concealed },
        { "concealed and empty", concealedSmall },
        { "untitled", untitled },
    };
    for (const auto &refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        EXPECT_FALSE(record(refusal.candidate));
    }
    EXPECT_EQ(store().generation(), 1);
    EXPECT_EQ(store().statistics().itemCount, 1);
    EXPECT_EQ(blobFiles().size(), 1);
    EXPECT_EQ(log.messages(),
        QStringList { QStringLiteral("Dropped a 33554433 byte image — over the payload cap") });
}

TEST_F(RecordingTest, ImagePayloadsArePrivateFilesAndOtherPayloadsAreDropped)
{
    test::ScopedUmask permissive(0);
    const QByteArray png("\x89PNG fake image bytes", 21);
    const ClipItem picture = *record(image(png));
    ASSERT_TRUE(picture.blobName);
    EXPECT_EQ(*picture.blobName, picture.fingerprint + QStringLiteral(".data"));
    QFile file(store().blobDirectory() + QLatin1Char('/') + *picture.blobName);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), png);
    struct stat status
    { };
    ASSERT_EQ(::stat(QFile::encodeName(file.fileName()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    ClipCandidate textWithPayload = text(QStringLiteral("plain"));
    textWithPayload.payload = QByteArray("stray bytes");
    const ClipItem plain = *record(textWithPayload);
    EXPECT_FALSE(plain.blobName);
    // The payload still tells the content apart, as the fingerprint includes it.
    EXPECT_EQ(plain.fingerprint, fingerprint(ClipKind::text, plain.text, textWithPayload.payload));
    EXPECT_EQ(blobFiles(), QStringList { *picture.blobName });
}

TEST_F(RecordingTest, FailedPayloadWriteStoresNothingAndAMissingPayloadFolderIsRecreated)
{
    // A file where the payload folder should be makes every write fail, even for root.
    ASSERT_TRUE(QDir(store().blobDirectory()).removeRecursively());
    test::writeFile(store().blobDirectory(), {});

    EXPECT_THROW(record(image("png bytes")), FileSystemError);
    EXPECT_EQ(store().generation(), 0);
    EXPECT_TRUE(openDirectly()->query(QStringLiteral("SELECT id FROM items")).empty());
    // Text needs no payload file and is still recorded.
    add(text(QStringLiteral("still fine")));

    // Once the folder is merely gone, the next image makes it again.
    ASSERT_TRUE(QFile::remove(store().blobDirectory()));
    const ClipItem picture = *record(image("png bytes"));
    EXPECT_EQ(blobFiles(), QStringList { *picture.blobName });
}

TEST_F(RecordingTest, EditingTextRederivesTitleAndSubtitle)
{
    const std::int64_t id = add(text(QStringLiteral("old")));
    const QString edit = QStringLiteral("  Title\t \n\n  second 👍🏽\nthird  \n");
    const std::int64_t generation = store().generation();
    store().updateText(id, edit);
    EXPECT_EQ(store().generation(), generation + 1);
    const ClipItem edited = *store().item(id);
    EXPECT_EQ(edited.text, edit);
    EXPECT_EQ(edited.title, QStringLiteral("Title"));
    EXPECT_EQ(edited.subtitle, QStringLiteral("second 👍🏽\nthird"));
    EXPECT_EQ(edited.byteCount, edit.toUtf8().size());
    EXPECT_EQ(edited.fingerprint, fingerprint(ClipKind::text, edit, std::nullopt));
    store().updateText(id, QStringLiteral("one line"));
    EXPECT_EQ(store().item(id)->subtitle, std::nullopt);
}

TEST_F(RecordingTest, APageTitleNeverReplacesAnEditedItemsTitle)
{
    const std::int64_t id = add(text(QStringLiteral("https://example.com/a")));
    EXPECT_TRUE(store().updateTitle(
        id, QStringLiteral("https://example.com/a"), QStringLiteral("Page"), {}));
    EXPECT_EQ(store().item(id)->title, QStringLiteral("Page"));

    store().updateText(id, QStringLiteral("My own words"));
    EXPECT_FALSE(store().updateTitle(
        id, QStringLiteral("https://example.com/a"), QStringLiteral("Late page"), {}));
    EXPECT_EQ(store().item(id)->title, QStringLiteral("My own words"));
    EXPECT_FALSE(store().updateTitle(999, QString(), QStringLiteral("T"), {}));
}

TEST_F(RecordingTest, EditingIsRefusedInOrderAndChangesNothing)
{
    const std::int64_t note = add(text(QStringLiteral("note")));
    const std::int64_t other = add(text(QStringLiteral("other")));
    const std::int64_t picture = add(image("png"));
    const ClipItem before = *store().item(note);
    const std::int64_t generation = store().generation();

    const struct
    {
        std::int64_t id;
        QString text;
        ClipStore::Error error;
    } refusals[] = {
        { 999, QStringLiteral("anything"), ClipStore::Error::missing() },
        { picture, QStringLiteral("anything"), ClipStore::Error::notEditable() },
        { note, QStringLiteral("other"), ClipStore::Error::duplicate() },
    };
    for (const auto &refusal : refusals) {
        SCOPED_TRACE(refusal.error.diagnostic().toStdString());
        try {
            store().updateText(refusal.id, refusal.text);
            ADD_FAILURE() << "edit was accepted";
        } catch (const ClipStore::Error &error) {
            EXPECT_EQ(error, refusal.error);
        }
    }
    EXPECT_EQ(store().generation(), generation);
    EXPECT_EQ(store().item(note), before);
    EXPECT_EQ(store().item(other)->text, QStringLiteral("other"));

    // Its own content again is no duplicate; afterwards the old content is new again.
    store().updateText(note, QStringLiteral("note"));
    store().updateText(note, QStringLiteral("renamed"));
    EXPECT_NE(record(text(QStringLiteral("note"), 9))->id, note);
}

TEST_F(RecordingTest, GenerationMovesOncePerSuccessfulMutation)
{
    const std::int64_t id = add(text(QStringLiteral("a")));
    const std::int64_t other = add(text(QStringLiteral("b")));
    const std::int64_t pictureID = add(image("png"));
    ClipStore::Filter search;
    search.search = QStringLiteral("a");
    search.limit = 5;
    enum Outcome { advances, keepsGeneration, fails };
    const struct
    {
        const char *name;
        std::function<void(ClipStore &)> operation;
        Outcome outcome;
    } steps[] = {
        { "updateTitle",
            [&](ClipStore &s) { s.updateTitle(id, QStringLiteral("a"), QStringLiteral("T"), {}); },
            advances },
        { "updateTitle of a missing id",
            [](ClipStore &s) { s.updateTitle(999, QStringLiteral("a"), QStringLiteral("T"), {}); },
            advances },
        { "markUsed", [&](ClipStore &s) { s.markUsed(id, at(3)); }, advances },
        { "bump", [&](ClipStore &s) { s.bump(other, at(4)); }, advances },
        { "createPinboard", [](ClipStore &s) { s.createPinboard(QStringLiteral("P")); }, advances },
        { "addItem", [&](ClipStore &s) { s.addItem(s.pinboards().front().id, id); }, advances },
        { "addItem again", [&](ClipStore &s) { s.addItem(s.pinboards().front().id, id); },
            advances },
        { "setTrigger", [&](ClipStore &s) { s.setTrigger(id, QStringLiteral("t")); }, advances },
        { "reorderPinboards", [](ClipStore &s) { s.reorderPinboards({ s.pinboards()[0].id }); },
            advances },
        { "deleteItems", [&](ClipStore &s) { s.deleteItems({ pictureID }); }, advances },
        { "deleteItems of nothing", [](ClipStore &s) { s.deleteItems({}); }, advances },
        { "clearHistory", [](ClipStore &s) { s.clearHistory(); }, advances },
        { "queries",
            [&](ClipStore &s) {
                s.items(search);
                s.item(id);
                s.itemWithFingerprint(QStringLiteral("x"));
                s.itemWithTrigger(QStringLiteral("t"));
                s.sourceApps(20);
                s.statistics();
                s.pinboards();
                s.pinboardIDs(id);
                s.triggerTable();
            },
            keepsGeneration },
        { "prune on its own", [](ClipStore &s) { s.prune(1, 1); }, keepsGeneration },
        { "sweepOrphanBlobs", [](ClipStore &s) { s.sweepOrphanBlobs(); }, keepsGeneration },
        { "setTrigger on a missing item",
            [&](ClipStore &s) { s.setTrigger(999, QStringLiteral("x")); }, fails },
        { "addItem to a missing pinboard", [&](ClipStore &s) { s.addItem(999, id); }, fails },
        { "reorderPinboards refused by the database",
            [&](ClipStore &s) {
                openDirectly()->query(QStringLiteral(
                    "CREATE TRIGGER refuse BEFORE UPDATE ON pinboards BEGIN SELECT RAISE(ABORT, "
                    "'no'); END"));
                s.reorderPinboards({ s.pinboards()[0].id });
            },
            fails },
        { "deletePinboard holding a trigger",
            [&](ClipStore &s) { s.deletePinboard(s.pinboards().front().id); }, fails },
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        const std::int64_t before = store().generation();
        bool failed = false;
        try {
            step.operation(store());
        } catch (const std::exception &) {
            failed = true;
        }
        EXPECT_EQ(failed, step.outcome == fails);
        EXPECT_EQ(store().generation(), before + (step.outcome == advances ? 1 : 0));
    }
}

} // namespace
} // namespace corvane
