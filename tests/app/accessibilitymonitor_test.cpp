#include "app/accessibilitymonitor.h"
#include "logcapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace corvane {
namespace {

class AccessibilityMonitorTest : public ::testing::Test
{
protected:
    AccessibilityMonitorTest()
    {
        m_monitor.onChange = [this](bool trusted) { m_changes.push_back(trusted); };
        m_monitor.openSettings = [this] { ++m_settingsOpened; };
        QObject::connect(
            &m_monitor, &AccessibilityMonitor::isTrustedChanged, [this] { ++m_notifications; });
    }

    bool m_trusted = false;
    int m_checks = 0;
    AccessibilityMonitor m_monitor { [this] {
        ++m_checks;
        return m_trusted;
    } };
    std::vector<bool> m_changes;
    int m_notifications = 0;
    int m_settingsOpened = 0;
};

TEST_F(AccessibilityMonitorTest, RefreshLogsNotifiesAndCallsBackOnlyOnAChange)
{
    test::LogCapture log("com.ferrowen.corvane.accessibility");
    EXPECT_FALSE(m_monitor.isTrusted());
    m_monitor.refresh();
    m_trusted = true;
    m_monitor.refresh();
    m_monitor.refresh();
    m_trusted = false;
    m_monitor.refresh();

    EXPECT_EQ(m_changes, (std::vector<bool> { true, false }));
    EXPECT_EQ(m_notifications, 2);
    EXPECT_EQ(log.messages(),
        (QStringList { QStringLiteral("Accessibility is now granted"),
            QStringLiteral("Accessibility is now not granted") }));
}

TEST_F(AccessibilityMonitorTest, CountsInterestsAndPollsOnlyWhileWatched)
{
    m_monitor.startWatching();
    m_monitor.startWatching();
    m_monitor.stopWatching();
    EXPECT_EQ(m_monitor.watchers(), 1);
    m_trusted = true;

    // The poll notices the change on its next tick; two intervals leave room for a loaded
    // machine and still fail a monitor that does not poll.
    QElapsedTimer elapsed;
    elapsed.start();
    while (m_changes.empty() && elapsed.elapsed() < 2 * AccessibilityMonitor::pollInterval.count())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(m_changes, std::vector<bool> { true });

    m_monitor.stopWatching();
    m_monitor.stopWatching();
    EXPECT_EQ(m_monitor.watchers(), 0);
    const int checks = m_checks;
    m_trusted = false;
    elapsed.restart();
    while (elapsed.elapsed() < 2500)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(m_checks, checks);
    EXPECT_TRUE(m_monitor.isTrusted());
}

TEST_F(AccessibilityMonitorTest, TheExplicitRequestShowsHelpOnlyWhileAccessIsMissing)
{
    m_monitor.requestAccess();
    EXPECT_EQ(m_settingsOpened, 1);
    m_trusted = true;
    m_monitor.requestAccess();
    EXPECT_EQ(m_settingsOpened, 1);
    EXPECT_EQ(m_changes, std::vector<bool> { true });
}

} // namespace
} // namespace corvane
