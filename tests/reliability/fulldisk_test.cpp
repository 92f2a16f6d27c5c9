// A history on a disk that fills up: recording fails with a logged error while reading,
// searching and the tool server go on, and once space is freed recording works again with
// nothing recorded earlier lost. The disk is a small tmpfs mounted in a private mount
// namespace (so nothing leaks into the machine), which takes root.

#include "candidates.h"
#include "capture/clipboardwatcher.h"
#include "logcapture.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/fake/fakeworkspace.h"
#include "platform/pasteboardimage.h"
#include "platform/pasteboardtypes.h"
#include "preferences/preferences.h"
#include "reliabilitysupport.h"
#include "store/clipstore.h"
#include "store/filesystemerror.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace corvane {
namespace {

using namespace test;

ClipCandidate imageCandidate(int seed, qsizetype size)
{
    QByteArray payload(size, Qt::Uninitialized);
    QRandomGenerator(quint32(seed))
        .fillRange(reinterpret_cast<quint32 *>(payload.data()), size / 4);
    return test::imageCandidate(payload, now(), QStringLiteral("Image %1").arg(seed));
}

// Fills the file system holding path to the last byte; false if it never filled.
bool fillDisk(const QString &path)
{
    const int descriptor = ::open(
        QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    const QByteArray chunk(4096, 'f');
    bool full = false;
    while (!full) {
        const ssize_t written = ::write(descriptor, chunk.constData(), size_t(chunk.size()));
        full = written < 0 && errno == ENOSPC;
        if (written < 0 && !full)
            break;
    }
    ::close(descriptor);
    return full;
}

// Runs the scenario below in a private mount namespace, where it may mount a tmpfs.
TEST(FullDisk, RecordingFailsWithALoggedErrorAndRecoversWhenSpaceIsFreed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root (the CI runs the tests as root)";
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    {
        ChildProcess probe({ .program = QStringLiteral("unshare"),
            .arguments = { QStringLiteral("--mount"), QStringLiteral("true") },
            .standardErrorFile = scratch.filePath(QStringLiteral("probe.log")) });
        if (!probe.started() || probe.wait(30000) != 0) {
            GTEST_SKIP()
                << "no private mount namespace: unshare --mount failed: "
                << fileContents(scratch.filePath(QStringLiteral("probe.log"))).toStdString();
        }
    }
    ChildProcess inside({ .program = QStringLiteral("unshare"),
        .arguments = { QStringLiteral("--mount"), QStringLiteral("--propagation"),
            QStringLiteral("private"), QCoreApplication::applicationFilePath(),
            QStringLiteral("--gtest_also_run_disabled_tests"),
            QStringLiteral("--gtest_filter=FullDisk.DISABLED_InAPrivateMountNamespace") },
        .standardErrorFile = scratch.filePath(QStringLiteral("inside.log")),
        .standardOutputFile = scratch.filePath(QStringLiteral("inside.log")) });
    ASSERT_TRUE(inside.started());
    const int status = inside.wait(240000);
    const QByteArray output = fileContents(scratch.filePath(QStringLiteral("inside.log")));
    if (status == 0 && output.contains("[  SKIPPED ]"))
        GTEST_SKIP() << output.toStdString();
    EXPECT_EQ(status, 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

// Run by the test above only, inside its mount namespace.
TEST(FullDisk, DISABLED_InAPrivateMountNamespace)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString disk = scratch.filePath(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(disk));
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=6m,mode=0700")
        != 0) {
        GTEST_SKIP() << "could not mount a tmpfs: " << std::strerror(errno);
    }
    // Unmounted before the temporary folder goes, so that it can go.
    struct Unmount
    {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount { QFile::encodeName(disk) };
    const QString dataHome = disk + QStringLiteral("/data");
    const QString storeDirectory = dataHome + QStringLiteral("/Corvane");
    const QString filler = disk + QStringLiteral("/filler");
    const QString logs = scratch.path() + u'/';

    std::map<std::int64_t, QString> earlierTexts;
    std::map<std::int64_t, QByteArray> earlierImages;
    std::int64_t boardID = 0;
    {
        ClipStore store(storeDirectory);
        const Pinboard board = store.createPinboard(QStringLiteral("Kept"));
        boardID = board.id;
        for (int i = 0; i < 30; ++i) {
            const QString text = QStringLiteral("earlier copy %1 ").arg(i) + QString(2000, u'e');
            earlierTexts[store.record(textCandidate(text), 100, 0, ClipStore::payloadCapBytes)->id]
                = text;
        }
        for (int i = 0; i < 5; ++i) {
            const ClipCandidate image = imageCandidate(i, 64 * 1024);
            earlierImages[store.record(image, 100, 0, ClipStore::payloadCapBytes)->id]
                = *image.payload;
        }
        for (const std::int64_t id : { earlierTexts.begin()->first, earlierImages.begin()->first })
            store.addItem(board.id, id);
    }

    McpClient server(dataHome, logs + QStringLiteral("server.log"));
    ASSERT_TRUE(server.started());
    ClipStore store(storeDirectory);
    ASSERT_TRUE(fillDisk(filler));

    // Recording straight through the store fails too: the payload file first, then the
    // database once its log can grow no more.
    EXPECT_THROW(store.record(imageCandidate(100, 64 * 1024), 100, 0, ClipStore::payloadCapBytes),
        FileSystemError);
    int databaseFull = 0;
    for (int i = 0; i < 1000 && databaseFull == 0; ++i) {
        try {
            store.record(
                textCandidate(QStringLiteral("while full %1 ").arg(i) + QString(16000, u'f')), 100,
                0, ClipStore::payloadCapBytes);
        } catch (const SQLiteDatabase::Error &error) {
            EXPECT_EQ(error.code(), 13) << error.description().toStdString(); // SQLITE_FULL
            ++databaseFull;
        }
    }
    ASSERT_GT(databaseFull, 0) << "the database never met the full disk";
    // The application's watcher records what another program copies; on the full disk that
    // fails, and it says so in its log.
    FakePasteboard pasteboard { decodePasteboardImage };
    FakeWorkspace workspace;
    Preferences preferences(logs + QStringLiteral("Corvane.conf"));
    ClipboardWatcher watcher(store, preferences, pasteboard, workspace);
    const auto copyAndPoll = [&](const QString &text, const std::function<bool()> &done) {
        pasteboard.copyFromOtherProcess({ { pasteboardtype::plainText(), text.toUtf8() } });
        watcher.poll();
        QDeadlineTimer deadline(5000);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    {
        LogCapture log("com.ferrowen.corvane.watcher");
        for (int i = 0; i < 3; ++i) {
            copyAndPoll(QStringLiteral("copied while full %1 ").arg(i) + QString(16000, u'w'),
                [&] { return log.messages().size() > i; });
        }
        EXPECT_EQ(log.count(QStringLiteral(
                      "Could not record a text copy: SQLite error 13: database or disk is full")),
            3)
            << log.messages().join(u'\n').toStdString();
    }

    {
        ChildProcess recorder({ .program = recorderExecutable(),
            .arguments = { storeDirectory, QStringLiteral("steady"), QStringLiteral("20"),
                QStringLiteral("100") },
            .standardErrorFile = logs + QStringLiteral("recorder.log") });
        ASSERT_TRUE(recorder.started());
        ::usleep(800 * 1000);
        recorder.closeInput();
        EXPECT_EQ(recorder.wait(60000), 3) << "expected every recording to fail";
        const QByteArray log = fileContents(logs + QStringLiteral("recorder.log"));
        EXPECT_TRUE(
            log.contains("Could not record a copy: SQLite error 13: database or disk is full"))
            << log.toStdString();
    }

    // Nothing else breaks: reading, searching and the tool server's answers.
    EXPECT_EQ(store.item(earlierTexts.begin()->first)->text, earlierTexts.begin()->second);
    const McpClient::Answer found = server.callTool(QStringLiteral("search_clipboard"),
        { { QStringLiteral("query"), QStringLiteral("earlier copy 7") } });
    EXPECT_FALSE(found.isError);
    EXPECT_TRUE(found.text.contains(QStringLiteral("earlier copy 7 "))) << found.text.toStdString();
    EXPECT_EQ(
        server.callTool(QStringLiteral("list_pinboards")).text, QStringLiteral("Kept — 2 items"));
    const McpClient::Answer refused = server.callTool(QStringLiteral("save_clipboard_item"),
        { { QStringLiteral("text"),
            QString(QStringLiteral("a note on a full disk ") + QString(16000, u'n')) } });
    EXPECT_TRUE(refused.replied && refused.isError);
    EXPECT_TRUE(
        refused.text.startsWith(QStringLiteral("Corvane could not do that: SQLite error 13")))
        << refused.text.toStdString();
    EXPECT_EQ(readStoreState(storeDirectory).integrity, QStringLiteral("ok"));

    // Space comes back, and so does recording.
    ASSERT_TRUE(QFile::remove(filler));
    const ClipStore::Filter copiedAfter {
        .search = QStringLiteral("copied after the disk was freed"), .limit = 1
    };
    copyAndPoll(QStringLiteral("copied after the disk was freed"),
        [&] { return !store.items(copiedAfter).empty(); });
    EXPECT_TRUE(
        store.items({ .search = QStringLiteral("copied after the disk was freed"), .limit = 1 })
            .size()
        == 1);
    const auto image
        = store.record(imageCandidate(200, 64 * 1024), 100, 0, ClipStore::payloadCapBytes);
    ASSERT_TRUE(image);
    EXPECT_TRUE(store.record(textCandidate(QStringLiteral("after the disk was freed")), 100, 0,
        ClipStore::payloadCapBytes));
    const McpClient::Answer saved = server.callTool(QStringLiteral("save_clipboard_item"),
        { { QStringLiteral("text"), QStringLiteral("a note after the disk was freed") } });
    EXPECT_TRUE(saved.text.startsWith(QStringLiteral("Saved as item ")))
        << saved.text.toStdString();
    {
        ChildProcess recorder({ .program = recorderExecutable(),
            .arguments = { storeDirectory, QStringLiteral("steady"), QStringLiteral("20"),
                QStringLiteral("100") },
            .standardErrorFile = logs + QStringLiteral("recorder-after.log") });
        ::usleep(500 * 1000);
        recorder.closeInput();
        EXPECT_EQ(recorder.wait(60000), 0)
            << fileContents(logs + QStringLiteral("recorder-after.log")).toStdString();
    }

    // Nothing recorded earlier is lost: texts, payload files byte for byte, the pinboard.
    for (const auto &[id, text] : earlierTexts) {
        const auto item = store.item(id);
        ASSERT_TRUE(item) << "item " << id << " lost";
        EXPECT_EQ(item->text, text);
    }
    for (const auto &[id, payload] : earlierImages) {
        const auto item = store.item(id);
        ASSERT_TRUE(item && item->blobName) << "image " << id << " lost";
        EXPECT_EQ(fileContents(store.blobDirectory() + u'/' + *item->blobName), payload);
    }
    EXPECT_EQ(store.pinboards().at(0).itemCount, 2);
    EXPECT_EQ(store.pinboards().at(0).id, boardID);
    const StoreState state = readStoreState(storeDirectory);
    EXPECT_EQ(state.integrity, QStringLiteral("ok"));
    EXPECT_EQ(state.searchIndexError, QString());
    // The failed payload write left no half-written file behind.
    EXPECT_EQ(state.blobFolderEntries, state.blobNamesInUse);

    server.process().closeInput();
    EXPECT_EQ(server.process().wait(60000), 0);
    EXPECT_TRUE(fileContents(logs + QStringLiteral("server.log"))
                    .contains("corvane-mcp: tool save_clipboard_item failed: SQLite error 13: "
                              "database or disk is full\n"));
}

} // namespace
} // namespace corvane
