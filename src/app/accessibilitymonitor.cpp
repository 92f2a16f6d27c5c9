#include "accessibilitymonitor.h"

#include "common/logging.h"

namespace corvane {

AccessibilityMonitor::AccessibilityMonitor(TrustCheck isProcessTrusted, QObject *parent)
    : QObject(parent)
    , m_isProcessTrusted(std::move(isProcessTrusted))
    , m_isTrusted(m_isProcessTrusted ? m_isProcessTrusted() : false)
{
    m_timer.setInterval(pollInterval);
    connect(&m_timer, &QTimer::timeout, this, &AccessibilityMonitor::refresh);
}

AccessibilityMonitor::~AccessibilityMonitor() = default;

void AccessibilityMonitor::startWatching()
{
    ++m_watchers;
    Q_EMIT watchersChanged();
    if (m_watchers != 1)
        return;
    m_timer.start();
    refresh();
}

void AccessibilityMonitor::stopWatching()
{
    if (m_watchers == 0)
        return;
    --m_watchers;
    Q_EMIT watchersChanged();
    if (m_watchers == 0)
        m_timer.stop();
}

void AccessibilityMonitor::refresh()
{
    const bool trusted = m_isProcessTrusted ? m_isProcessTrusted() : false;
    if (trusted == m_isTrusted)
        return;
    m_isTrusted = trusted;
    Q_EMIT isTrustedChanged();
    qCInfo(lcAccessibility, "Accessibility is now %s", trusted ? "granted" : "not granted");
    if (onChange)
        onChange(trusted);
}

void AccessibilityMonitor::requestAccess()
{
    // X11 has no prompt to show: access comes with the display server, so when it is missing
    // the help explains what to run instead.
    const bool trusted = m_isProcessTrusted ? m_isProcessTrusted() : false;
    if (!trusted && openSettings)
        openSettings();
    refresh();
}

} // namespace corvane
