// Starts the real executable in a Wayland session: a headless compositor for the clipboard,
// the X server in DISPLAY standing in for its XWayland (the windows stay on X11), and other
// clients copying, then looks into the history it writes.

#include "applicationtest.h"
#include "headlesscompositor.h"
#include "mcpclient.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::HeadlessCompositor;

// The application started as in a Wayland session of this compositor: Qt is left to choose
// its platform.
template <HeadlessCompositor::Kind kind> class WaylandSessionTest : public test::ApplicationTest
{
protected:
    void SetUp() override
    {
        if (const auto reason = HeadlessCompositor::unavailableReason(kind))
            GTEST_SKIP() << "No headless compositor here: " << reason->toStdString();
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X server in DISPLAY";
        ApplicationTest::SetUp();
        m_compositor = std::make_unique<HeadlessCompositor>(kind);
        ASSERT_TRUE(m_compositor->start()) << m_compositor->error().toStdString();
        m_extraEnvironment = { { QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland") },
            { QStringLiteral("WAYLAND_DISPLAY"), m_compositor->socketPath() },
            { QStringLiteral("QT_QPA_PLATFORM"), QString() } };
    }

    std::unique_ptr<HeadlessCompositor> m_compositor;
};

// sway offers data-control: Wayland clients' copies are recorded whatever has the focus.
using DataControlSessionTest = WaylandSessionTest<HeadlessCompositor::Kind::sway>;

TEST_F(DataControlSessionTest, RecordsWaylandClientsCopiesWithTheRightKinds)
{
    QProcess &instance = startInstance();
    const QByteArray png = test::encodedImage(24, 16);
    const struct
    {
        QString type;
        QByteArray bytes;
        ClipKind kind;
    } copies[] = {
        { QStringLiteral("text/plain"), "hello from a Wayland client", ClipKind::text },
        { QStringLiteral("text/plain"), "https://example.org/from-wayland", ClipKind::link },
        { QStringLiteral("image/png"), png, ClipKind::image },
        { QStringLiteral("text/uri-list"), "file:///etc/hostname\r\n", ClipKind::file },
    };
    for (const auto &copy : copies) {
        SCOPED_TRACE(copy.bytes.left(40).toStdString());
        const auto copier = m_compositor->copy(copy.bytes, copy.type);
        const auto items = itemsOnceThey(
            [&](const auto &now) { return !now.empty() && now.front().kind == copy.kind; });
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items.front().kind, copy.kind);
    }
    instance.terminate();
    ASSERT_TRUE(instance.waitForFinished(10000));
    const QString log = QString::fromUtf8(instance.readAllStandardError());
    EXPECT_TRUE(log.contains(
        QStringLiteral("Watching the Wayland clipboard through wlr-data-control-unstable-v1")))
        << log.toStdString();
}

// weston offers no data-control: the application says so once and goes on with what X11
// gives it, serving later starts (the panel) and the tool server.
using PlainSessionTest = WaylandSessionTest<HeadlessCompositor::Kind::weston>;

TEST_F(PlainSessionTest, SaysOnceThatTheClipboardCannotBeWatchedAndKeepsServing)
{
    QProcess &instance = startInstance();

    // In the foreground (-quiet), so that it is ended by its own PID.
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), QStringLiteral("-quiet -selection clipboard").split(u' '));
    ASSERT_TRUE(xclip.waitForStarted());
    xclip.write("copied in an X11 application");
    xclip.closeWriteChannel();
    const auto items = itemsOnceThey([](const auto &now) { return !now.empty(); });
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.front().title, QStringLiteral("copied in an X11 application"));

    // A second start hands its request (the panel's toggle) to the running one.
    QProcess &second = startInstance(false);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(instance.state(), QProcess::Running);

    test::McpClient tools(folder("data"), scratchPath(QStringLiteral("mcp.log")));
    ASSERT_TRUE(tools.started());
    EXPECT_TRUE(tools.toolText(QStringLiteral("search_clipboard"))
                    .contains(QStringLiteral("copied in an X11 application")));
    tools.finish();

    instance.terminate();
    ASSERT_TRUE(instance.waitForFinished(10000));
    xclip.kill();
    xclip.waitForFinished();
    const QString log = QString::fromUtf8(instance.readAllStandardError());
    EXPECT_EQ(log.count(QStringLiteral("The Wayland clipboard cannot be watched here: the Wayland "
                                       "compositor offers no data-control protocol")),
        1)
        << log.toStdString();
}

} // namespace
} // namespace corvane
