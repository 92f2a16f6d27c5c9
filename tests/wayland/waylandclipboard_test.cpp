#include "capture/candidateextraction.h"
#include "childprocess.h"
#include "clipboardtesttools.h"
#include "headlesscompositor.h"
#include "platform/pasteboardtypes.h"
#include "platform/wayland/waylandpasteboard.h"
#include "platform/wayland/waylandpastekeystrokeposter.h"
#include "platform/wayland/waylandworkspace.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace corvane {
namespace {

using test::ChildProcess;
using test::HeadlessCompositor;
using test::spinUntil;

constexpr auto ownerTimeout = 500ms;

// The clipboard of a headless sway, read the way the watcher reads it, with wl-copy and
// wl-paste as the other clients.
class WaylandClipboardTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (HeadlessCompositor::unavailableReason(HeadlessCompositor::Kind::sway))
            return;
        s_compositor = new HeadlessCompositor(HeadlessCompositor::Kind::sway);
        s_started = s_compositor->start();
    }

    static void TearDownTestSuite()
    {
        delete s_compositor;
        s_compositor = nullptr;
    }

    void SetUp() override
    {
        if (const auto reason
            = HeadlessCompositor::unavailableReason(HeadlessCompositor::Kind::sway))
            GTEST_SKIP() << "No headless sway here: " << reason->toStdString();
        ASSERT_TRUE(s_started) << s_compositor->error().toStdString();
        m_pasteboard = connect();
        ASSERT_TRUE(m_pasteboard);
    }

    static std::unique_ptr<WaylandPasteboard> connect()
    {
        QString reason;
        auto pasteboard = WaylandPasteboard::create(
            QFile::encodeName(s_compositor->socketPath()), &reason, ownerTimeout);
        EXPECT_TRUE(pasteboard) << reason.toStdString();
        return pasteboard;
    }

    static QByteArray wlPaste(const QString &type)
    {
        ChildProcess paste({
            .program = QStringLiteral("wl-paste"),
            .arguments = { QStringLiteral("--no-newline"), QStringLiteral("--type"), type },
            .environment = s_compositor->clientEnvironment(),
            .standardErrorFile = QStringLiteral("/dev/null"),
        });
        QByteArray output;
        // This process may be the owner: its clipboard thread answers while this one waits.
        while (const auto line = paste.readLine(5000))
            output += *line + '\n';
        output += paste.unreadOutput();
        paste.wait(5000);
        return output;
    }

    bool waitForChangeAfter(std::int64_t count, std::chrono::milliseconds timeout = 5s)
    {
        return spinUntil([&] { return m_pasteboard->changeCount() > count; }, timeout);
    }

    std::optional<PasteboardSnapshot> read(std::chrono::milliseconds timeout = 10s)
    {
        QSignalSpy spy(m_pasteboard.get(), &Pasteboard::contentsRead);
        const std::uint64_t request = m_pasteboard->readContents({ true });
        if (!spinUntil([&] { return !spy.isEmpty(); }, timeout))
            return std::nullopt;
        EXPECT_EQ(spy.first().at(0).value<std::uint64_t>(), request);
        return spy.first().at(1).value<PasteboardSnapshot>();
    }

    // The first snapshot that offers a type: copies arrive after the previous owner's exit
    // emptied the clipboard, which counts as a change of its own.
    std::optional<PasteboardSnapshot> readOffering(const QString &type)
    {
        std::optional<PasteboardSnapshot> snapshot;
        spinUntil([&] {
            snapshot = read();
            return snapshot && snapshot->types().contains(type);
        });
        return snapshot;
    }

    std::optional<ClipCandidate> capture(const PasteboardSnapshot &snapshot)
    {
        return captureCandidate(snapshot, std::nullopt, {}, true, true);
    }

    static inline HeadlessCompositor *s_compositor = nullptr;
    static inline bool s_started = false;
    std::unique_ptr<WaylandPasteboard> m_pasteboard;
};

TEST_F(WaylandClipboardTest, RecordsWhatOtherClientsCopyAsTheRightKind)
{
    const QByteArray png = test::encodedImage(37, 21);
    const struct
    {
        QString type;
        QByteArray bytes;
        ClipKind kind;
        QString title;
    } cases[] = {
        { QStringLiteral("text/plain"), "Grüße from sway\nsecond line", ClipKind::text,
            QStringLiteral("Grüße from sway") },
        { QStringLiteral("text/plain;charset=utf-8"), "https://example.org/wayland", ClipKind::link,
            QStringLiteral("wayland") },
        { QStringLiteral("image/png"), png, ClipKind::image, QStringLiteral("37 × 21") },
        { QStringLiteral("text/uri-list"), "file:///etc/hostname\r\nfile:///etc/passwd\r\n",
            ClipKind::file, QStringLiteral("hostname + 1 more") },
    };
    EXPECT_EQ(m_pasteboard->protocolName(), QStringLiteral("wlr-data-control-unstable-v1"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type.toStdString());
        const std::int64_t before = m_pasteboard->changeCount();
        const auto copier = s_compositor->copy(c.bytes, c.type);
        ASSERT_TRUE(waitForChangeAfter(before));
        const auto snapshot = readOffering(c.type);
        ASSERT_TRUE(snapshot);
        const auto candidate = capture(*snapshot);
        ASSERT_TRUE(candidate);
        EXPECT_EQ(candidate->kind, c.kind);
        EXPECT_EQ(candidate->title, c.title);
        if (c.kind == ClipKind::image) {
            EXPECT_TRUE(candidate->payload && *candidate->payload == png);
        }
    }
}

// Another client's copy that carries the password-manager hint or the concealed marker is
// refused, and its text is never fetched into this process.
TEST_F(WaylandClipboardTest, NeverRecordsMarkedCopies)
{
    const auto other = connect();
    ASSERT_TRUE(other);
    for (const auto &[type, value] :
        { std::pair { pasteboardtype::passwordManagerHint(), QByteArray("secret") },
            std::pair { pasteboardtype::concealed(), QByteArray() } }) {
        SCOPED_TRACE(type.toStdString());
        const std::int64_t before = m_pasteboard->changeCount();
        other->clearContents();
        other->setString(QStringLiteral("hunter2-password"));
        other->setData(value, type);
        ASSERT_TRUE(waitForChangeAfter(before));
        // The other client's writes arrive one by one; the last one offers the marker.
        const auto snapshot = readOffering(type);
        ASSERT_TRUE(snapshot);
        EXPECT_TRUE(snapshot->isMarkedNotToRecord());
        EXPECT_FALSE(snapshot->string());
        EXPECT_FALSE(capture(*snapshot));
    }
    // The hint with any other value leaves the copy alone.
    other->clearContents();
    other->setString(QStringLiteral("a plain note"));
    other->setData("public", pasteboardtype::passwordManagerHint());
    const auto snapshot = readOffering(pasteboardtype::passwordManagerHint());
    ASSERT_TRUE(snapshot);
    const auto candidate = capture(*snapshot);
    ASSERT_TRUE(candidate);
    EXPECT_EQ(candidate->text, QByteArray("a plain note"));
}

// The change count moves once for each of this process's writes, never for the
// compositor's announcement of it, and again for the next client's copy; meanwhile this
// process serves what it wrote to other clients.
TEST_F(WaylandClipboardTest, CountsItsOwnWritesOnceAndServesThem)
{
    const std::int64_t before = m_pasteboard->changeCount();
    m_pasteboard->clearContents();
    m_pasteboard->setString(QStringLiteral("written back ✓"));
    m_pasteboard->setData(QByteArray(), pasteboardtype::concealed());
    EXPECT_EQ(m_pasteboard->changeCount(), before + 1);
    // The write reaches the compositor from the clipboard's thread a moment later.
    EXPECT_TRUE(spinUntil(
        [] { return wlPaste(QStringLiteral("text/plain")) == "written back \xe2\x9c\x93"; }));
    EXPECT_EQ(wlPaste(QStringLiteral("UTF8_STRING")), QStringLiteral("written back ✓").toUtf8());
    test::spinFor(300ms);
    EXPECT_EQ(m_pasteboard->changeCount(), before + 1);

    const QList<QUrl> files { QUrl::fromLocalFile(QStringLiteral("/etc/hostname")) };
    m_pasteboard->clearContents();
    m_pasteboard->writeFileURLs(files);
    EXPECT_TRUE(spinUntil(
        [] { return wlPaste(QStringLiteral("text/uri-list")) == "file:///etc/hostname\r\n"; }));
    test::spinFor(300ms);
    EXPECT_EQ(m_pasteboard->changeCount(), before + 2);

    const auto copier = s_compositor->copy("from another client", QStringLiteral("text/plain"));
    ASSERT_TRUE(waitForChangeAfter(before + 2));
    test::spinFor(300ms);
    EXPECT_EQ(m_pasteboard->changeCount(), before + 3);
    const auto snapshot = readOffering(QStringLiteral("text/plain"));
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->string(), QStringLiteral("from another client"));
}

TEST_F(WaylandClipboardTest, AHungOwnerNeverBlocksTheMainThread)
{
    test::StallMeter ticks;
    // wl-copy stopped by a signal holds the selection and never answers.
    std::int64_t before = m_pasteboard->changeCount();
    const auto hung = s_compositor->copy("never sent", QStringLiteral("text/plain"));
    ASSERT_TRUE(waitForChangeAfter(before));
    hung->signal(SIGSTOP);
    ticks.start();

    // Left alone, the read gives up after the owner timeout with nothing.
    QElapsedTimer timing;
    timing.start();
    auto snapshot = read();
    ASSERT_TRUE(snapshot);
    EXPECT_FALSE(snapshot->string());
    EXPECT_GE(timing.elapsed(), ownerTimeout.count());

    // A newer copy overtakes a read still waiting for the hung owner.
    QSignalSpy spy(m_pasteboard.get(), &Pasteboard::contentsRead);
    m_pasteboard->readContents({ true });
    before = m_pasteboard->changeCount();
    timing.start();
    const auto good = s_compositor->copy("well behaved", QStringLiteral("text/plain"));
    ASSERT_TRUE(waitForChangeAfter(before));
    snapshot = readOffering(QStringLiteral("text/plain"));
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->string(), QStringLiteral("well behaved"));
    EXPECT_LT(timing.elapsed(), ownerTimeout.count());
    EXPECT_EQ(spy.size(), 1) << "the overtaken read was reported";
    ticks.stop();
    hung->signal(SIGCONT);

    std::printf("longest gap between 2 ms ticks without waiting for a CPU: %.1f ms\n",
        double(ticks.longestOwnGapNs()) / 1e6);
    EXPECT_LE(ticks.longestOwnGapNs(), 20'000'000);
}

// The item written back and the paste keystroke of the virtual keyboard reach a Wayland
// terminal (foot, whose shell writes what it is given to a file), as a paste from the
// panel would; the terminal is the frontmost application meanwhile.
TEST_F(WaylandClipboardTest, PastesIntoTheFrontmostWaylandTerminalThroughTheVirtualKeyboard)
{
    QString reason;
    const auto poster = WaylandPasteKeystrokePoster::create(
        QFile::encodeName(s_compositor->socketPath()), &reason);
    ASSERT_TRUE(poster) << reason.toStdString();

    QTemporaryDir folder;
    const QString pasted = folder.filePath(QStringLiteral("pasted.txt"));
    auto environment = s_compositor->clientEnvironment();
    environment[QStringLiteral("HOME")] = folder.path();
    ChildProcess terminal({
        .program = QStringLiteral("foot"),
        .arguments = { QStringLiteral("--app-id=org.example.Terminal"), QStringLiteral("sh"),
            QStringLiteral("-c"), QStringLiteral("stty -echo; cat > ") + pasted },
        .environment = environment,
        .standardErrorFile = folder.filePath(QStringLiteral("foot.log")),
        .standardOutputFile = folder.filePath(QStringLiteral("foot.log")),
    });
    // The shell has started once the file exists; the compositor tells when the terminal's
    // window is the active one.
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(pasted); }, 10s));
    const auto workspace
        = WaylandWorkspace::create(QFile::encodeName(s_compositor->socketPath()), &reason);
    ASSERT_TRUE(workspace) << reason.toStdString();
    const RunningApplication terminalApplication { .bundleIdentifier
        = QStringLiteral("org.example.Terminal"),
        .localizedName = QStringLiteral("org.example.Terminal") };
    EXPECT_TRUE(
        spinUntil([&] { return workspace->frontmostApplication() == terminalApplication; }, 5s));

    m_pasteboard->clearContents();
    m_pasteboard->setString(QStringLiteral("pasted through the virtual keyboard ✓\n"));
    ASSERT_TRUE(spinUntil(
        [] { return wlPaste(QStringLiteral("text/plain")).startsWith("pasted through"); }));
    ASSERT_TRUE(poster->postPasteKeystroke(PasteShortcut::controlShiftV));
    QByteArray contents;
    EXPECT_TRUE(spinUntil([&] { return !(contents = test::fileContents(pasted)).isEmpty(); }, 10s));
    EXPECT_EQ(
        QString::fromUtf8(contents), QStringLiteral("pasted through the virtual keyboard ✓\n"));
    terminal.signal(SIGTERM);
    terminal.wait(5000);
    EXPECT_TRUE(spinUntil([&] { return !workspace->frontmostApplication(); }, 5s));
}

} // namespace
} // namespace corvane
