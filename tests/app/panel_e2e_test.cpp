// The application as a user meets it: the real executable on its own X server with a window
// manager, real X clients to copy from and paste into, and real key presses and clicks.

#include "common/timestamp.h"
#include "eventloopwait.h"
#include "expansionharness.h"
#include "runningapplicationtest.h"
#include "store/clipcandidate.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QLocalSocket>
#include <QProcess>

#include <chrono>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::spinFor;
using test::spinUntil;

// One X server with openbox for the whole suite: focus and stacking are the window
// manager's, as on a desktop.
class Desktop
{
public:
    Desktop()
    {
        // Xvfb writes the number of the display it took to its standard output.
        m_server.start(QStringLiteral("Xvfb"),
            QStringLiteral("-displayfd 1 -screen 0 1920x1080x24 -nolisten tcp").split(u' '));
        spinUntil([this] { return m_server.canReadLine(); }, 10s);
        display = QStringLiteral(":") + QString::fromLatin1(m_server.readLine()).trimmed();
        qputenv("DISPLAY", display.toUtf8());
        // openbox announces itself on the root window once it manages it; without it nothing
        // here can be activated, so the tests check this first. On a loaded machine it has
        // been seen to end before managing anything, so it gets another try, and what it
        // said is kept for the failure message.
        m_windowManager.setProcessChannelMode(QProcess::MergedChannels);
        for (int attempt = 0; attempt < 3 && !managed; ++attempt) {
            m_windowManager.start(QStringLiteral("openbox"), {});
            spinUntil(
                [this] { return announced() || m_windowManager.state() == QProcess::NotRunning; },
                20s);
            managed = announced();
            if (!managed) {
                windowManagerOutput += m_windowManager.readAll();
                m_windowManager.kill();
                m_windowManager.waitForFinished(5000);
            }
        }
    }

    static bool announced()
    {
        return run(QStringLiteral("xprop"),
            { QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK") })
            .contains("window id");
    }

    ~Desktop()
    {
        for (QProcess *process : { &m_windowManager, &m_server }) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }

    static QByteArray run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(10000);
        return process.readAllStandardOutput();
    }

    QString display;
    bool managed = false;
    QByteArray windowManagerOutput;

private:
    QProcess m_server;
    QProcess m_windowManager;
};

class PanelEndToEndTest : public test::RunningApplicationTest
{
protected:
    static void SetUpTestSuite() { s_desktop = new Desktop; }
    static void TearDownTestSuite()
    {
        delete s_desktop;
        s_desktop = nullptr;
    }

    void SetUp() override
    {
        RunningApplicationTest::SetUp();
        ASSERT_TRUE(s_desktop->managed)
            << "openbox did not start on " << qPrintable(s_desktop->display) << ": "
            << s_desktop->windowManagerOutput.toStdString();
        startProcess(QStringLiteral("wish"),
            { QStringLiteral(CORVANE_SOURCE_DIR "/tests/app/pastetarget.tcl"), targetFile() });
        ASSERT_TRUE(
            spinUntil([&] { return !windowID(QStringLiteral("^Target$")).isEmpty(); }, 10s));
    }

    QString targetFile() const { return scratchPath(QStringLiteral("target.txt")); }
    QString targetText() const { return QString::fromUtf8(test::fileContents(targetFile())); }

    // Starts Corvane and waits until it listens for later starts and records copies.
    QProcess &startCorvane()
    {
        QProcess &corvane = startInstance();
        // The panel is built at start-up; once the first copy is recorded all of it runs.
        copyText(QStringLiteral("warming up"));
        EXPECT_TRUE(spinUntil([&] { return itemCount() == 1u; }, 30s));
        return corvane;
    }

    // A second start of the executable, as a launcher would make it; its exit status.
    int startAgain(const QStringList &arguments = {})
    {
        QProcess again;
        again.setProcessEnvironment(environment());
        again.start(QStringLiteral(CORVANE_EXECUTABLE), arguments);
        again.waitForFinished(30000);
        return again.exitCode();
    }

    void copyText(const QString &text)
    {
        QProcess xclip;
        xclip.start(
            QStringLiteral("xclip"), { QStringLiteral("-selection"), QStringLiteral("clipboard") });
        xclip.write(text.toUtf8());
        xclip.closeWriteChannel();
        xclip.waitForFinished(5000);
    }

    std::size_t itemCount() { return store().items(ClipStore::Filter { .limit = 1000 }).size(); }

    // What xdotool printed, trimmed, for the space-separated words of a command followed by
    // arguments that may hold spaces themselves.
    static QString xdotool(const char *command, const QStringList &more = {})
    {
        return QString::fromUtf8(Desktop::run(QStringLiteral("xdotool"),
                                     QString::fromLatin1(command).split(u' ') + more))
            .trimmed();
    }
    static QString windowID(const QString &name)
    {
        return xdotool("search --onlyvisible --name", { name });
    }
    static bool panelShown() { return !windowID(QStringLiteral("^Corvane$")).isEmpty(); }
    static QString activeWindowName() { return xdotool("getactivewindow getwindowname"); }
    static QByteArray activeWindowId() { return xdotool("getactivewindow").toUtf8(); }
    void focusTarget()
    {
        // A window just mapped may not take the activation yet: ask until it has.
        ASSERT_TRUE(spinUntil(
            [] {
                xdotool("search --name ^Target$ windowactivate");
                return spinUntil(
                    [] { return activeWindowName() == QStringLiteral("Target"); }, 500ms);
            },
            10s));
    }
    static void pressHotkey() { xdotool("key super+shift+v"); }

    static Desktop *s_desktop;
};

Desktop *PanelEndToEndTest::s_desktop = nullptr;

TEST_F(PanelEndToEndTest, APickedItemIsPastedWhereTheUserWasAndNotRecordedAgain)
{
    startCorvane();
    std::size_t count = 1;
    for (const char *text : { "alpha one", "bravo two", "charlie three" }) {
        copyText(QString::fromLatin1(text));
        ASSERT_TRUE(spinUntil([&] { return itemCount() == count + 1; }, 10s));
        ++count;
    }

    focusTarget();
    pressHotkey();
    ASSERT_TRUE(spinUntil(&panelShown, 10s));
    xdotool("type --delay 50 brav");
    spinFor(500ms);
    xdotool("key Return");

    EXPECT_TRUE(spinUntil([&] { return targetText() == QStringLiteral("bravo two"); }, 10s))
        << qPrintable(targetText());
    EXPECT_FALSE(panelShown());
    spinFor(1s);
    EXPECT_EQ(itemCount(), 4u);
    EXPECT_EQ(
        store().items(ClipStore::Filter { .limit = 1 }).front().text, QStringLiteral("bravo two"));
}

TEST_F(PanelEndToEndTest, TheHotKeyTogglesThePanelAndAClickElsewhereHidesIt)
{
    startCorvane();
    focusTarget();
    pressHotkey();
    ASSERT_TRUE(spinUntil(&panelShown, 10s));
    EXPECT_TRUE(spinUntil([] { return activeWindowName() == QStringLiteral("Corvane"); }, 5s));

    pressHotkey();
    EXPECT_TRUE(spinUntil([] { return !panelShown(); }, 10s));
    EXPECT_TRUE(spinUntil([] { return activeWindowName() == QStringLiteral("Target"); }, 5s));

    pressHotkey();
    ASSERT_TRUE(spinUntil([] { return activeWindowName() == QStringLiteral("Corvane"); }, 5s));
    // A click into the other window takes the focus there, and the panel goes.
    xdotool("mousemove 400 240 click 1");
    EXPECT_TRUE(spinUntil([] { return !panelShown(); }, 10s));
}

TEST_F(PanelEndToEndTest, ALaterStartShowsThePanelUnlessItWasJustHidden)
{
    startCorvane();
    focusTarget();
    EXPECT_EQ(startAgain(), 0);
    ASSERT_TRUE(spinUntil(&panelShown, 10s));
    // The desktop entry's Settings action reaches the running instance too.
    EXPECT_EQ(startAgain({ QStringLiteral("--settings") }), 0);

    // A reopen arriving right after a hide is the same gesture: the panel stays hidden.
    // It is sent as a later start sends it, so its timing does not depend on how long a
    // start takes.
    QLocalSocket socket;
    socket.connectToServer(instanceSocket());
    ASSERT_TRUE(socket.waitForConnected(5000));
    xdotool("key Escape");
    ASSERT_TRUE(spinUntil([] { return !panelShown(); }, 5s));
    socket.write("activate\n");
    ASSERT_TRUE(socket.waitForReadyRead(5000));
    spinFor(1s);
    EXPECT_FALSE(panelShown());

    EXPECT_EQ(startAgain(), 0);
    EXPECT_TRUE(spinUntil(&panelShown, 10s));
}

TEST_F(PanelEndToEndTest, TriggersAndEmojiNamesTypedElsewhereAreReplaced)
{
    writeSettings("[General]\nexpandsSnippets=true\nexpandsEmoji=true\n");
    const Pinboard board = store().createPinboard(QStringLiteral("Mail"));
    const QString signature = QStringLiteral("Best regards, Ann");
    const auto snippet = store().record(
        ClipCandidate {
            .text = signature.toUtf8(), .title = signature, .capturedAt = corvane::now() },
        500, 0, 1 << 20);
    ASSERT_TRUE(snippet);
    store().addItem(board.id, snippet->id);
    store().setTrigger(snippet->id, QStringLiteral("sig"));
    startCorvane();

    // A Qt text field reports its text on every change (Tk reads its keymap too lazily for
    // the keys an expansion binds on the fly).
    test::ExpansionTarget field;
    ASSERT_TRUE(field.start());
    // Corvane forgets what was typed whenever another window becomes active; the window
    // manager may still be passing the focus between the target's two windows, so typing
    // starts once the field's window has kept it long enough for Corvane to have seen it.
    const QByteArray fieldWindow = QByteArray::number(qulonglong(field.window()));
    ASSERT_TRUE(spinUntil([&] { return activeWindowId() == fieldWindow; }, 5s));
    spinFor(500ms);
    ASSERT_EQ(activeWindowId(), fieldWindow);
    xdotool("type --delay 60", { QStringLiteral("Hi ::sig ") });
    EXPECT_TRUE(spinUntil(
        [&] { return field.text().startsWith(QStringLiteral("Hi Best regards, Ann")); }, 10s))
        << qPrintable(field.text());
    xdotool("type --delay 60", { QStringLiteral("::cyclone ") });
    EXPECT_TRUE(spinUntil([&] { return field.text().contains(QStringLiteral("🌀")); }, 10s))
        << qPrintable(field.text());
    EXPECT_FALSE(field.text().contains(QStringLiteral("::")));
}

TEST_F(PanelEndToEndTest, AHotKeyHeldByAnotherClientLeavesRecordingRunning)
{
    QProcess &grabber
        = startProcess(QStringLiteral(DESKTOP_PEER_PATH), { QStringLiteral("grab-hotkey") });
    ASSERT_TRUE(grabber.waitForReadyRead(10000));
    QProcess &corvane = startCorvane();
    focusTarget();
    pressHotkey();
    spinFor(1s);
    EXPECT_FALSE(panelShown());
    EXPECT_TRUE(corvane.readAllStandardError().contains("Could not register the hot key"));
}

TEST_F(PanelEndToEndTest, ThePanelSpansTheBottomOfTheWorkAreaAboveADock)
{
    QProcess &dock = startProcess(
        QStringLiteral(DESKTOP_PEER_PATH), { QStringLiteral("dock"), QStringLiteral("30") });
    ASSERT_TRUE(dock.waitForReadyRead(10000));
    startCorvane();
    pressHotkey();
    ASSERT_TRUE(spinUntil(&panelShown, 10s));
    const QString geometry
        = xdotool("search --onlyvisible --name ^Corvane$ getwindowgeometry --shell");
    for (const char *line : { "X=24", "Y=730", "WIDTH=1872", "HEIGHT=296" })
        EXPECT_TRUE(geometry.split(u'\n').contains(QLatin1String(line))) << qPrintable(geometry);
}

TEST_F(PanelEndToEndTest, TheTrayIconsMenuPastesARecentItemAndASecondStartOpensTheSettings)
{
    // trayer: a tray host (XEmbed) along the top edge.
    startProcess(QStringLiteral("trayer"),
        QStringLiteral("--edge top --align left --widthtype request --height 24").split(u' '));
    startCorvane();
    copyText(QStringLiteral("from the tray"));
    ASSERT_TRUE(spinUntil([&] { return itemCount() == 2u; }, 10s));

    EXPECT_EQ(startAgain({ QStringLiteral("--settings") }), 0);
    EXPECT_TRUE(
        spinUntil([] { return !windowID(QStringLiteral("^Corvane Settings$")).isEmpty(); }, 20s));

    focusTarget();
    // The icon fills the host's window, which asks for no more width than the icon needs.
    QString host;
    ASSERT_TRUE(spinUntil(
        [&] {
            host = xdotool("search --onlyvisible --class trayer").section(u'\n', 0, 0);
            return !host.isEmpty();
        },
        10s));
    spinFor(1s);
    xdotool("mousemove --window",
        { host, QStringLiteral("12"), QStringLiteral("12"), QStringLiteral("click"),
            QStringLiteral("1") });
    spinFor(1s);
    // "Open Corvane", then the newest item.
    xdotool("key Down Down Return");
    EXPECT_TRUE(spinUntil([&] { return targetText() == QStringLiteral("from the tray"); }, 10s))
        << qPrintable(targetText());
}

TEST_F(PanelEndToEndTest, TheTaskBarEntryBringsUpThePanelAndGoesBackToTheTaskBar)
{
    writeSettings("[General]\nshowsDockIcon=true\n");
    startCorvane();
    // The entry is the application's window that sits minimised in the task bar.
    const auto iconic = [](const QString &window) {
        return Desktop::run(
            QStringLiteral("xprop"), { QStringLiteral("-id"), window, QStringLiteral("WM_STATE") })
            .contains("Iconic");
    };
    QString entry;
    ASSERT_TRUE(spinUntil(
        [&] {
            const QStringList windows
                = xdotool("search --name ^Corvane$").split(u'\n', Qt::SkipEmptyParts);
            for (const QString &window : windows) {
                if (iconic(window.trimmed()))
                    entry = window.trimmed();
            }
            return !entry.isEmpty();
        },
        10s));
    focusTarget();
    EXPECT_FALSE(panelShown());
    xdotool("windowactivate", { entry });
    EXPECT_TRUE(spinUntil(&panelShown, 10s));
    EXPECT_TRUE(spinUntil([&] { return iconic(entry); }, 10s));
}

} // namespace
} // namespace corvane
