#include "app/appservices.h"
#include "app/crashrecoveryagent.h"
#include "candidates.h"
#include "capture/clipboardwatcher.h"
#include "capture/linkenricher.h"
#include "eventloopwait.h"
#include "expansion/emojinametable.h"
#include "expansion/textexpander.h"
#include "pageserver.h"
#include "panel/historymodel.h"
#include "panel/hotkey.h"
#include "platform/fake/fakeactivationnotifier.h"
#include "platform/fake/fakehotkeyregistrar.h"
#include "platform/fake/fakeinputdevicestate.h"
#include "platform/fake/fakekeystrokeposter.h"
#include "platform/fake/fakekeystrokesynthesizer.h"
#include "platform/fake/fakekeystroketap.h"
#include "platform/fake/fakepanelwindow.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/fake/fakeworkspace.h"
#include "platform/pasteboardtypes.h"
#include "preferences/preferences.h"
#include "recognition/textrecognizer.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <chrono>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using test::spinUntil;

using namespace std::chrono_literals;

// Finds the same words in every image.
class WordsEverywhere : public TextRecognizer
{
public:
    RecognizedText recognize(const QString &, const std::atomic<bool> &) override
    {
        return { RecognizedText::Outcome::read, QStringLiteral("quarterly receipt"), {} };
    }
};

class AppServicesTest : public test::TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        // Drag files go to the temporary folder; this test's own stands in for it.
        m_previousTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", path().toUtf8());
        m_server.setPage(
            "/page", { test::response("200 OK", "text/html", "<title>Fetched</title>") });
        rebuild();
    }

    void TearDown() override { qputenv("TMPDIR", m_previousTemp); }

    // A new service graph over the same folders and fakes, as a restart would build.
    void rebuild()
    {
        m_services.reset();
        const AppServices::Desktop desktop {
            .pasteboard = m_pasteboard,
            .workspace = m_workspace,
            .keystrokes = m_keystrokes,
            .input = m_input,
            .hotkeys = m_hotkeys,
            .activations = m_activations,
            .crashRecovery = m_crashRecovery,
            .hasKeyboardAccess = [] { return true; },
            .makeKeystrokeTap =
                [this] {
                    auto tap = std::make_unique<FakeKeystrokeTap>();
                    m_tap = tap.get();
                    return tap;
                },
            .makeKeystrokeSynthesizer = [] { return std::make_unique<FakeKeystrokeSynthesizer>(); },
            .makePanelWindow =
                [this](HistoryModel &, const ClipStore &) {
                    auto window = std::make_unique<FakePanelWindow>();
                    m_window = window.get();
                    return window;
                },
            .makeTextRecognizer = [] { return std::make_unique<WordsEverywhere>(); },
        };
        m_services = std::make_unique<AppServices>(
            desktop, path(QStringLiteral("Corvane")), path(QStringLiteral("Corvane.conf")));
    }

    QString link() const { return m_server.url("/page"); }

    std::optional<ClipItem> copyAndWait(const QString &text)
    {
        m_pasteboard.copyFromOtherProcess({ { pasteboardtype::plainText(), text.toUtf8() } });
        std::optional<ClipItem> found;
        // The wait ends as soon as the copy is there; the bound only has to outlast a loaded
        // machine running the sanitizer build (two seconds did not, once in a full run).
        spinUntil(
            [&] {
                const auto items = m_services->store().items(ClipStore::Filter { .limit = 1 });
                if (!items.empty() && items.front().text == text)
                    found = items.front();
                return found.has_value();
            },
            10s);
        return found;
    }

    QByteArray m_previousTemp;
    test::PageServer m_server;
    FakePasteboard m_pasteboard;
    FakeWorkspace m_workspace;
    FakeKeystrokePoster m_keystrokes;
    FakeInputState m_input;
    FakeHotkeyRegistrar m_hotkeys;
    FakeActivationNotifier m_activations;
    UnavailableCrashRecoveryAgent m_crashRecovery;
    FakeKeystrokeTap *m_tap = nullptr;
    FakePanelWindow *m_window = nullptr;
    std::unique_ptr<AppServices> m_services;
};

TEST_F(AppServicesTest, HandsCopiedLinksToTheEnricherOnlyWhenPreviewsAreWanted)
{
    m_services->start();

    m_services->preferences().setFetchesLinkPreviews(false);
    const auto unfetched = copyAndWait(link());
    ASSERT_TRUE(unfetched);
    EXPECT_FALSE(m_services->linkEnricher().isFetching(unfetched->id));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_server.requests("/page"), 0);

    m_services->preferences().setFetchesLinkPreviews(true);
    copyAndWait(QStringLiteral("something else"));
    const auto fetched = copyAndWait(link());
    ASSERT_TRUE(fetched);
    ASSERT_TRUE(spinUntil(
        [&] { return m_services->store().item(fetched->id)->title == QStringLiteral("Fetched"); },
        5s));
    EXPECT_EQ(m_server.requests("/page"), 1);
}

TEST_F(AppServicesTest, StartSweepsOrphanPayloadsAndRemovesLeftOverDragFiles)
{
    const QString orphan = QDir(m_services->store().blobDirectory())
                               .filePath(QString(64, u'a') + QStringLiteral(".data"));
    const QString dragFile = path(QStringLiteral("Drags/1234/Picture.png"));
    for (const QString &file : { orphan, dragFile })
        test::writeFile(file, {});
    // Whatever the clipboard held before the start is not recorded.
    m_pasteboard.copyFromOtherProcess({ { pasteboardtype::plainText(), "before the start" } });
    rebuild();

    m_services->start();
    // The store is tidied on a thread of its own; the drag folder at once.
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Drags"))));
    EXPECT_TRUE(spinUntil([&] { return !QFile::exists(orphan); }, 5s));
    m_services->watcher().poll();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_services->store().items(ClipStore::Filter { .limit = 10 }).empty());
}

TEST_F(AppServicesTest, HotKeyShowsThePanelAndTheNextPressGivesTheFocusBack)
{
    const RunningApplication editor { QStringLiteral("org.example.Editor"),
        QStringLiteral("Editor"), 42 };
    m_workspace.setFrontmostApplication(editor);
    m_services->start();
    EXPECT_EQ(m_window->invisibleRenders, 1);
    EXPECT_FALSE(m_services->hotkeyRegistrationFailed());

    ASSERT_TRUE(m_hotkeys.press(m_services->preferences().hotkey()));
    ASSERT_TRUE(spinUntil([&] { return m_window->visible; }, 2s));
    EXPECT_EQ(m_services->model().pasteTarget(), editor);

    ASSERT_TRUE(m_hotkeys.press(m_services->preferences().hotkey()));
    ASSERT_TRUE(spinUntil([&] { return !m_window->visible; }, 2s));
    ASSERT_EQ(m_keystrokes.activated.size(), 1u);
    EXPECT_EQ(m_keystrokes.activated.front(), editor);
}

TEST_F(AppServicesTest, HotKeyHeldElsewhereStillRecordsAndCanBeRegisteredAgain)
{
    m_hotkeys.holdElsewhere(m_services->preferences().hotkey());
    m_services->start();
    EXPECT_TRUE(m_services->hotkeyRegistrationFailed());
    EXPECT_FALSE(m_services->hotkey());
    EXPECT_TRUE(copyAndWait(QStringLiteral("still recorded")));

    m_services->preferences().setHotkey(HotkeyCombination { 49, 2048 });
    m_services->registerHotkey();
    EXPECT_FALSE(m_services->hotkeyRegistrationFailed());
    EXPECT_EQ(m_hotkeys.registrationCount(), 1);
}

TEST_F(AppServicesTest, PastingAnItemIsNotRecordedAsANewCopyAndAVisiblePanelFollowsCaptures)
{
    m_services->start();
    ASSERT_TRUE(copyAndWait(QStringLiteral("first")));
    ASSERT_TRUE(copyAndWait(QStringLiteral("second")));
    m_services->togglePanel();
    ASSERT_TRUE(m_window->visible);

    // A copy while the panel is shown appears in it without a reload of its own.
    ASSERT_TRUE(copyAndWait(QStringLiteral("third")));
    ASSERT_EQ(m_services->model().items().size(), 3u);
    EXPECT_EQ(m_services->model().items().front().text, QStringLiteral("third"));

    m_services->model().select(2);
    m_services->model().paste();
    EXPECT_EQ(m_pasteboard.changeCount(), m_services->watcher().suppressUntilChangeCount());
    m_services->watcher().poll();
    QCoreApplication::processEvents();
    const auto items = m_services->store().items(ClipStore::Filter { .limit = 10 });
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items.front().text, QStringLiteral("first"));
}

TEST_F(AppServicesTest, TriggerTablePutsSnippetsOverAliasesOverEmojiNames)
{
    Preferences &preferences = m_services->preferences();
    preferences.setExpandsEmoji(true);
    preferences.setEmojiAliases({ { QStringLiteral("  Party "), QStringLiteral("🎉") },
        { QStringLiteral(" \t"), QStringLiteral("❌") },
        { QStringLiteral("cyclone"), QStringLiteral("🌀!") } });
    auto table = m_services->expansionTriggers();
    EXPECT_EQ(table.value(QStringLiteral("party")), QStringLiteral("🎉"));
    EXPECT_FALSE(table.contains(QString()));
    EXPECT_EQ(table.value(QStringLiteral("cyclone")), QStringLiteral("🌀!"));
    EXPECT_EQ(table.value(QStringLiteral("fire")), QStringLiteral("🔥"));

    // A snippet's trigger wins over an emoji name; the store change rebuilds the table.
    const Pinboard board = m_services->store().createPinboard(QStringLiteral("Work"));
    ASSERT_TRUE(m_services->model().createSnippet(
        QStringLiteral("Fire drill at noon"), QStringLiteral("fire"), board.id));
    table = m_services->expansionTriggers();
    EXPECT_EQ(table.value(QStringLiteral("fire")), QStringLiteral("Fire drill at noon"));

    preferences.setExpandsEmoji(false);
    table = m_services->expansionTriggers();
    EXPECT_FALSE(table.contains(QStringLiteral("party")));
    EXPECT_EQ(table.size(), 1);
}

TEST_F(AppServicesTest, ExpansionStartsOnceKeyboardAccessArrivesAndStopsWhenTurnedOff)
{
    m_services->preferences().setExpandsSnippets(true);
    m_tap->trusted = false;
    m_services->start();
    EXPECT_FALSE(m_services->expander().isRunning());
    EXPECT_EQ(m_services->expansionFailure(), KeystrokeTap::StartFailure::Reason::notTrusted);

    m_tap->trusted = true;
    m_services->applicationDidBecomeActive();
    EXPECT_TRUE(m_services->expander().isRunning());
    EXPECT_FALSE(m_services->expansionFailure());

    m_services->preferences().setExpandsSnippets(false);
    m_services->preferences().setExpandsEmoji(false);
    m_services->configureExpansion();
    EXPECT_FALSE(m_services->expander().isRunning());
}

TEST_F(AppServicesTest, TurningTextRecognitionOffForgetsTheWordsAndOnReadsThemAgain)
{
    const std::int64_t image
        = m_services->store()
              .record(test::imageCandidate("image bytes"), 0, 0, ClipStore::payloadCapBytes)
              ->id;
    const auto words = [&] { return m_services->store().recognizedText(image); };
    const auto found = [&] {
        return m_services->store()
            .items(ClipStore::Filter { .search = QStringLiteral("receipt"), .limit = 5 })
            .size();
    };
    m_services->start();
    ASSERT_TRUE(spinUntil([&] { return words() == QStringLiteral("quarterly receipt"); }, 5s));
    EXPECT_EQ(found(), 1u);

    m_services->preferences().setRecognizesTextInImages(false);
    EXPECT_EQ(words(), std::nullopt);
    EXPECT_EQ(found(), 0u);

    m_services->preferences().setRecognizesTextInImages(true);
    EXPECT_TRUE(spinUntil([&] { return words() == QStringLiteral("quarterly receipt"); }, 5s));
}

} // namespace
} // namespace corvane
