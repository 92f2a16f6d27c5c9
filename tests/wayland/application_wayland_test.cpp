// Starts the real executable in a Wayland session: a headless compositor for the clipboard,
// the X server in DISPLAY standing in for its XWayland (the windows stay on X11), and other
// clients copying, then looks into the history it writes.

#include "clipboardtesttools.h"
#include "headlesscompositor.h"
#include "mcpclient.h"
#include "store/clipstore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::HeadlessCompositor;
using test::spinUntil;

class WaylandSessionTest : public ::testing::TestWithParam<HeadlessCompositor::Kind>
{
protected:
    void SetUp() override
    {
        if (const auto reason = HeadlessCompositor::unavailableReason(GetParam()))
            GTEST_SKIP() << "No headless compositor here: " << reason->toStdString();
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X server in DISPLAY";
        ASSERT_TRUE(m_folder.isValid());
        for (const char *name : { "data", "config", "runtime" })
            ASSERT_TRUE(QDir(m_folder.path()).mkpath(QString::fromLatin1(name)));
        QFile::setPermissions(
            folder("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_compositor = std::make_unique<HeadlessCompositor>(GetParam());
        ASSERT_TRUE(m_compositor->start()) << m_compositor->error().toStdString();
    }

    void TearDown() override
    {
        for (auto &process : m_instances) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(10000)) {
                    process->kill();
                    process->waitForFinished(10000);
                }
            }
        }
    }

    QString folder(const char *name) const
    {
        return QDir(m_folder.path()).filePath(QString::fromLatin1(name));
    }

    // Starts the application in the session; waits until it listens for later starts.
    QProcess &startInstance(bool waitUntilRunning = true)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folder("data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder("config"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder("runtime"));
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), m_compositor->socketPath());
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(CORVANE_EXECUTABLE), {});
        EXPECT_TRUE(process->waitForStarted(10000));
        if (waitUntilRunning) {
            const QString socket
                = QDir(folder("runtime")).filePath(QStringLiteral("com.ferrowen.corvane.instance"));
            EXPECT_TRUE(spinUntil([&] { return QFile::exists(socket); }, 30s));
        }
        m_instances.push_back(std::move(process));
        return *m_instances.back();
    }

    std::unique_ptr<ChildProcess> wlCopy(const QByteArray &bytes, const QString &type)
    {
        auto process = std::make_unique<ChildProcess>(ChildProcess::Options {
            .program = QStringLiteral("wl-copy"),
            .arguments = { QStringLiteral("--foreground"), QStringLiteral("--type"), type },
            .environment = m_compositor->clientEnvironment(),
            .standardErrorFile = QStringLiteral("/dev/null"),
            .standardOutputFile = QStringLiteral("/dev/null"),
        });
        EXPECT_TRUE(process->send(bytes));
        process->closeInput();
        return process;
    }

    // The history's items, newest first, once the condition holds for them (or after 10 s).
    std::vector<ClipItem> itemsOnceThey(
        const std::function<bool(const std::vector<ClipItem> &)> &hold)
    {
        if (!m_store)
            m_store = std::make_unique<ClipStore>(
                QDir(folder("data")).filePath(QStringLiteral("Corvane")));
        std::vector<ClipItem> items;
        spinUntil(
            [&] {
                items = m_store->items(ClipStore::Filter { .limit = 100 });
                return hold(items);
            },
            10s);
        return items;
    }

    QTemporaryDir m_folder;
    std::unique_ptr<HeadlessCompositor> m_compositor;
    std::vector<std::unique_ptr<QProcess>> m_instances;
    std::unique_ptr<ClipStore> m_store;
};

class DataControlSessionTest : public WaylandSessionTest
{ };

// sway offers data-control: Wayland clients' copies are recorded whatever has the focus.
TEST_P(DataControlSessionTest, RecordsWaylandClientsCopiesWithTheRightKinds)
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
        const auto copier = wlCopy(copy.bytes, copy.type);
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

INSTANTIATE_TEST_SUITE_P(
    Sway, DataControlSessionTest, ::testing::Values(HeadlessCompositor::Kind::sway));

class PlainSessionTest : public WaylandSessionTest
{ };

// weston offers no data-control: the application says so once and goes on with what X11
// gives it, serving later starts (the panel) and the tool server.
TEST_P(PlainSessionTest, SaysOnceThatTheClipboardCannotBeWatchedAndKeepsServing)
{
    QProcess &instance = startInstance();

    // In the foreground (-quiet), so that it is ended by its own PID.
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
        { QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard") });
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

    test::McpClient tools(
        folder("data"), QDir(m_folder.path()).filePath(QStringLiteral("mcp.log")));
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

INSTANTIATE_TEST_SUITE_P(
    Weston, PlainSessionTest, ::testing::Values(HeadlessCompositor::Kind::weston));

} // namespace
} // namespace corvane
