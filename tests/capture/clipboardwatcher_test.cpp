#include "capture/clipboardwatcher.h"
#include "capture/earlycopyreader.h"
#include "clipboardtesttools.h"
#include "eventloopwait.h"
#include "logcapture.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/fake/fakeworkspace.h"
#include "platform/pasteboardimage.h"
#include "platform/pasteboardtypes.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"
#include "store/sqlitedatabase.h"
#include "testsupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>

#include <chrono>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using test::spinFor;
using test::spinUntil;

using namespace std::chrono_literals;
namespace type = pasteboardtype;

QByteArray utf8(const char *text)
{
    return QByteArray(text);
}

class ClipboardWatcherTest : public test::TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        m_store = std::make_unique<ClipStore>(path(QStringLiteral("Corvane")));
        m_preferences = std::make_unique<Preferences>(path(QStringLiteral("Corvane.conf")));
        // Whatever was copied before the application started.
        m_pasteboard.copyFromOtherProcess({ { type::plainText(), utf8("before launch") } });
        m_watcher = std::make_unique<ClipboardWatcher>(
            *m_store, *m_preferences, m_pasteboard, m_workspace);
        m_watcher->onCapture = [this](const ClipItem &item) { m_captured.push_back(item); };
    }

    // Polls as the timer would and waits for the read to be answered.
    void tick()
    {
        m_watcher->poll();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        // Items are ordered by their time in milliseconds: the next copy comes later.
        spinFor(2ms);
    }

    std::vector<QString> storedTexts()
    {
        std::vector<QString> texts;
        for (const ClipItem &item : m_store->items(ClipStore::Filter { .limit = 100 }))
            texts.push_back(item.text.value_or(item.title));
        return texts;
    }

    void copy(const char *text)
    {
        m_pasteboard.copyFromOtherProcess({ { type::plainText(), utf8(text) } });
    }

    FakePasteboard m_pasteboard { decodePasteboardImage };
    FakeWorkspace m_workspace;
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<ClipboardWatcher> m_watcher;
    std::vector<ClipItem> m_captured;
};

TEST_F(ClipboardWatcherTest, RecordsTheFirstCopyAfterLaunchButNotWhatWasThereBefore)
{
    tick();
    EXPECT_TRUE(storedTexts().empty());

    m_workspace.setFrontmostApplication(RunningApplication {
        QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Text Editor") });
    copy("first copy");
    tick();
    ASSERT_EQ(storedTexts(), std::vector<QString> { QStringLiteral("first copy") });
    ASSERT_EQ(m_captured.size(), 1u);
    EXPECT_EQ(m_captured[0].text, QStringLiteral("first copy"));
    EXPECT_EQ(m_captured[0].sourceBundleID, QStringLiteral("org.gnome.TextEditor"));
    EXPECT_EQ(m_captured[0].sourceAppName, QStringLiteral("Text Editor"));

    // Nothing changed: the tick reads nothing.
    const QStringList fetched = m_pasteboard.fetchedTypes();
    tick();
    EXPECT_EQ(m_pasteboard.fetchedTypes(), fetched);
}

TEST_F(ClipboardWatcherTest, SkipsTheApplicationsOwnWriteAndRecordsTheNextUserCopy)
{
    struct Case
    {
        const char *name;
        bool userCopiesBeforeTheTick;
        std::vector<QString> expected;
    };
    const Case cases[] = {
        { "own write alone", false, {} },
        // The user's copy overtook the write between two ticks: it is recorded.
        { "own write then user copy", true, { QStringLiteral("user copy") } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_store->clearHistory();
        m_captured.clear();
        m_watcher->setSuppressUntilChangeCount(m_pasteboard.changeCount() + 1);
        m_pasteboard.setString(QStringLiteral("written back"));
        if (c.userCopiesBeforeTheTick)
            copy("user copy");
        tick();
        EXPECT_EQ(storedTexts(), c.expected);
        EXPECT_EQ(m_captured.size(), c.expected.size());
        // The suppression stays only when the own write was never seen on its own.
        EXPECT_EQ(m_watcher->suppressUntilChangeCount().has_value(), c.userCopiesBeforeTheTick);
        m_watcher->setSuppressUntilChangeCount(std::nullopt);

        copy("later copy");
        tick();
        EXPECT_EQ(storedTexts().front(), QStringLiteral("later copy"));
    }
}

TEST_F(ClipboardWatcherTest, HandsRepeatsToTheStoreWhichKeepsOneRowAtTheTop)
{
    copy("same");
    tick();
    copy("other");
    tick();
    copy("same");
    tick();
    ASSERT_EQ(m_captured.size(), 3u);
    EXPECT_EQ(m_captured[0].id, m_captured[2].id);
    EXPECT_EQ(
        storedTexts(), (std::vector<QString> { QStringLiteral("same"), QStringLiteral("other") }));
}

TEST_F(ClipboardWatcherTest, RefusesIgnoredApplicationsAndHonoursThePreferences)
{
    m_workspace.setFrontmostApplication(
        RunningApplication { QStringLiteral("org.keepassxc.KeePassXC"), {} });
    m_preferences->setIgnoredBundleIDs({ QStringLiteral("org.keepassxc.KeePassXC") });
    copy("from the password manager");
    tick();
    m_workspace.setFrontmostApplication(std::nullopt);

    m_preferences->setCapturesImages(false);
    m_pasteboard.copyFromOtherProcess({ { type::png(), test::encodedImage(3, 2) } });
    tick();
    EXPECT_TRUE(storedTexts().empty());
    EXPECT_FALSE(m_pasteboard.fetchedTypes().contains(type::png()));

    m_preferences->setCapturesImages(true);
    m_preferences->setItemLimit(2);
    m_pasteboard.copyFromOtherProcess({ { type::png(), test::encodedImage(3, 2) } });
    tick();
    copy("one");
    tick();
    copy("two");
    tick();
    // The item limit applies at once: the image was pruned.
    EXPECT_EQ(
        storedTexts(), (std::vector<QString> { QStringLiteral("two"), QStringLiteral("one") }));
}

TEST_F(ClipboardWatcherTest, LogsAFailedRecordingAndKeepsCapturing)
{
    // A file where the payload folder should be: the image cannot be written, even as root.
    ASSERT_TRUE(QDir(m_store->blobDirectory()).removeRecursively());
    test::writeFile(m_store->blobDirectory(), {});

    test::LogCapture log("com.ferrowen.corvane.watcher");
    m_pasteboard.copyFromOtherProcess({ { type::png(), test::encodedImage(3, 2) } });
    tick();
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(log.messages()[0].startsWith(QStringLiteral("Could not record a image copy: ")))
        << log.messages()[0].toStdString();
    EXPECT_TRUE(m_captured.empty());

    // Content that does not read as what it claims to be is not recorded, and the log says so.
    const std::vector<FakePasteboard::Contents> unreadable {
        { { type::png(), QByteArray("\x89PNG cut short") } },
        { { type::plainTextUtf8(), QByteArray("\xff\xfe not UTF-8") } },
    };
    for (const auto &contents : unreadable) {
        m_pasteboard.copyFromOtherProcess(contents);
        tick();
    }
    EXPECT_EQ(log.count(QStringLiteral("A copy could not be read; it is not recorded")), 2)
        << log.messages().join(u'\n').toStdString();
    EXPECT_TRUE(m_captured.empty());

    copy("after the failure");
    tick();
    EXPECT_EQ(storedTexts(), std::vector<QString> { QStringLiteral("after the failure") });
}

// Another process (the tool server, a second instance) keeps the history's write lock for
// longer than the store waits. The copies made meanwhile are recorded, in order and with the
// time they were made, once the lock is free.
TEST_F(ClipboardWatcherTest, CopiesMadeWhileAnotherProcessHoldsTheHistoryAreRecordedLater)
{
    const Timestamp madeAt = fromMillis(1'700'000'000'000);
    m_watcher->clock = [&] { return madeAt; };
    auto other = std::make_unique<SQLiteDatabase>(
        QDir(m_store->directory()).filePath(QStringLiteral("history.sqlite")));
    other->query(QStringLiteral("BEGIN IMMEDIATE"));
    // One copy more than may wait: the oldest is given up.
    std::vector<QString> expected;
    for (std::size_t i = 0; i <= ClipboardWatcher::maximumWaitingCopies; ++i) {
        const QByteArray text = "copy " + QByteArray::number(qulonglong(i));
        copy(text.constData());
        tick();
        if (i > 0)
            expected.insert(expected.begin(), QString::fromLatin1(text));
    }
    EXPECT_TRUE(storedTexts().empty());

    other->query(QStringLiteral("COMMIT"));
    EXPECT_TRUE(spinUntil([&] { return m_captured.size() == expected.size(); },
        SQLiteDatabase::busyTimeout + 2 * ClipboardWatcher::lockedRetryInterval));
    EXPECT_EQ(storedTexts(), expected);
    for (const ClipItem &item : m_captured)
        EXPECT_EQ(item.createdAt, madeAt);
}

TEST_F(ClipboardWatcherTest, DropsAReadOvertakenByANewerCopyAndReadsTheNewerOne)
{
    QSignalSpy reads(&m_pasteboard, &Pasteboard::contentsRead);
    copy("overtaken");
    m_watcher->poll();
    // A concealed copy arrives while the first read is still in flight; a second poll does
    // not start another read.
    m_pasteboard.copyFromOtherProcess(
        { { type::concealed(), {} }, { type::plainText(), utf8("secret") } });
    m_watcher->poll();
    copy("newest");
    ASSERT_TRUE(spinUntil([&] { return !m_captured.empty(); }));
    spinFor(100ms);
    // The first read's answer was dropped: its contents had been replaced meanwhile.
    EXPECT_EQ(storedTexts(), std::vector<QString> { QStringLiteral("newest") });
    EXPECT_EQ(reads.count(), 2);
}

// Copies made while the history opens are read by the early reader, then the watcher goes on
// from the last one it read: every copy either reaches the history or is logged as replaced,
// once.
TEST_F(ClipboardWatcherTest, EveryCopyMadeWhileTheHistoryOpensIsRecordedOrLoggedOnce)
{
    test::LogCapture log("com.ferrowen.corvane.watcher");
    {
        EarlyCopyReader reader(m_pasteboard, m_workspace);
        copy("one");
        copy("two");
        copy("three");
        ASSERT_TRUE(spinUntil([&] { return reader.copies().size() == 1; }));
        copy("four");
        copy("five");
        m_watcher->setLastChangeCount(reader.readUpTo());
        for (const EarlyCopyReader::Copy &early : reader.copies())
            m_watcher->recordEarlierCopy(early.snapshot, early.frontmost, early.capturedAt);
    }
    tick();
    EXPECT_EQ(
        storedTexts(), (std::vector<QString> { QStringLiteral("five"), QStringLiteral("three") }));
    EXPECT_EQ(log.messages(),
        (QStringList { QStringLiteral("2 copies were replaced before they could be read"),
            QStringLiteral("1 copies were replaced before they could be read") }));
}

TEST_F(ClipboardWatcherTest, LooksAtOnceWhenTheClipboardChangesButNotAsFastAsALoopCopies)
{
    m_watcher->start(10s);
    // Copies by hand, even a few in quick succession, are each read at once.
    for (int i = 0; i < ClipboardWatcher::immediateReadBurst; ++i) {
        const QString text = QStringLiteral("quick copy %1").arg(i);
        copy(qPrintable(text));
        ASSERT_TRUE(spinUntil(
            [&] { return !m_captured.empty() && m_captured.back().text == text; }, 100ms));
    }
    spinFor(ClipboardWatcher::immediateReadWindow);

    // An application that replaces the clipboard in a loop.
    QSignalSpy reads(&m_pasteboard, &Pasteboard::contentsRead);
    QElapsedTimer elapsed;
    elapsed.start();
    int copies = 0;
    while (elapsed.elapsed() < 500) {
        copy(copies % 2 ? "loop a" : "loop b");
        ++copies;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    spinFor(2 * ClipboardWatcher::immediateReadWindow);
    const auto reachable = (elapsed.elapsed() / ClipboardWatcher::immediateReadWindow.count() + 1)
        * ClipboardWatcher::immediateReadBurst;
    EXPECT_GT(copies, 100);
    EXPECT_LE(reads.count(), reachable);
    EXPECT_GE(reads.count(), 2);
    // Once the loop stops, its last copy is recorded.
    ASSERT_TRUE(spinUntil(
        [&] {
            return m_captured.back().text
                == (copies % 2 ? QStringLiteral("loop b") : QStringLiteral("loop a"));
        },
        500ms));
}

TEST_F(ClipboardWatcherTest, TheTimerFindsAChangeTheClipboardDidNotSignal)
{
    m_watcher->start(100ms);
    QObject::disconnect(&m_pasteboard, &Pasteboard::changed, m_watcher.get(), nullptr);
    copy("found by the timer");
    ASSERT_TRUE(spinUntil([&] { return !m_captured.empty(); }, 1000ms));
    EXPECT_EQ(m_captured[0].text, QStringLiteral("found by the timer"));
}

} // namespace
} // namespace corvane
