#include "clipboardtesttools.h"
#include "eventloopwait.h"
#include "panel/delayscheduler.h"
#include "panel/paster.h"
#include "platform/x11/x11inputdevicestate.h"
#include "platform/x11/x11pasteboard.h"
#include "platform/x11/x11pastekeystrokeposter.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QWindow>

using namespace std::chrono_literals;

namespace corvane::test {
namespace {

void xdotool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    EXPECT_TRUE(spinUntil([&] { return tool.state() == QProcess::NotRunning; }, 10s));
    EXPECT_EQ(tool.exitCode(), 0);
}

// Records the modifiers of the V presses it receives while it has the focus.
class KeyWindow : public QWindow
{
public:
    std::vector<Qt::KeyboardModifiers> vPresses;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_V)
            vPresses.push_back(event->modifiers());
    }
};

class PasterX11Test : public TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        m_store = std::make_unique<ClipStore>(path(QStringLiteral("Corvane")));
        m_paster = std::make_unique<Paster>(
            *m_store, m_pasteboard, m_keystrokes, m_scheduler, [] { return true; });
    }

    ClipItem record(ClipKind kind, const std::optional<QString> &text,
        const std::optional<QByteArray> &payload = {})
    {
        ClipCandidate candidate;
        candidate.kind = kind;
        candidate.text = text ? std::optional(text->toUtf8()) : std::nullopt;
        candidate.title = text.value_or(QStringLiteral("Image"));
        candidate.payload = payload;
        candidate.capturedAt = now();
        return m_store->record(candidate, 0, 0, ClipStore::payloadCapBytes).value();
    }

    QStringList targets()
    {
        return QString::fromUtf8(readClipboardWithXclip(QStringLiteral("TARGETS")))
            .split(QLatin1Char('\n'));
    }

    std::unique_ptr<ClipStore> m_store;
    X11Pasteboard m_pasteboard;
    X11PasteKeystrokePoster m_keystrokes { qgetenv("DISPLAY") };
    QtDelayScheduler m_scheduler;
    std::unique_ptr<Paster> m_paster;
};

// Which types each kind gets is the paster's part (panel_tests); here other processes read
// them from the real clipboard.
TEST_F(PasterX11Test, OtherApplicationsReadALinksURLAndAnImagesPNG)
{
    const ClipItem link = record(ClipKind::link, QStringLiteral("https://example.com/page"));
    ASSERT_TRUE(m_paster->copy({ link }, false));
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("UTF8_STRING")), "https://example.com/page");
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("text/uri-list")).trimmed(),
        "https://example.com/page");

    const QByteArray png
        = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGNgYPj/"
                                 "HwADAgH/0Kq4WQAAAABJRU5ErkJggg==");
    const ClipItem image = record(ClipKind::image, std::nullopt, png);
    ASSERT_TRUE(m_paster->copy({ image }, false));
    EXPECT_TRUE(targets().contains(QStringLiteral("image/png")));
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("image/png")), png);
}

TEST_F(PasterX11Test, PastingSendsControlVToTheFocusedWindowAfterTheDelay)
{
    ASSERT_TRUE(m_keystrokes.hasXTest());
    KeyWindow window;
    window.resize(200, 100);
    window.show();
    window.requestActivate();
    ASSERT_TRUE(spinUntil([&] { return window.isActive(); }, 5s));

    const ClipItem text = record(ClipKind::text, QStringLiteral("pasted"));
    m_paster->paste({ text }, std::nullopt, false);
    EXPECT_TRUE(window.vPresses.empty()); // nothing before the delay
    ASSERT_TRUE(spinUntil([&] { return !window.vPresses.empty(); }, 5s));
    EXPECT_EQ(window.vPresses.front(), Qt::ControlModifier);

    window.vPresses.clear();
    m_paster->postPasteKeystroke(RunningApplication { QStringLiteral("org.kde.konsole"), {} });
    ASSERT_TRUE(spinUntil([&] { return !window.vPresses.empty(); }, 5s));
    EXPECT_EQ(window.vPresses.front(), Qt::ControlModifier | Qt::ShiftModifier);
}

TEST(X11InputDeviceStateTest, ReadsTheButtonsAndEscapeFromTheServer)
{
    X11InputDeviceState state(qgetenv("DISPLAY"));
    EXPECT_FALSE(state.isMouseButtonPressed());
    EXPECT_FALSE(state.isEscapeKeyDown());
    xdotool({ QStringLiteral("mousedown"), QStringLiteral("1") });
    EXPECT_TRUE(state.isMouseButtonPressed());
    xdotool({ QStringLiteral("mouseup"), QStringLiteral("1") });
    EXPECT_FALSE(state.isMouseButtonPressed());
    xdotool({ QStringLiteral("keydown"), QStringLiteral("Escape") });
    EXPECT_TRUE(state.isEscapeKeyDown());
    xdotool({ QStringLiteral("keyup"), QStringLiteral("Escape") });
    EXPECT_FALSE(state.isEscapeKeyDown());
}

} // namespace
} // namespace corvane::test
