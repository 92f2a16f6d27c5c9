#include "upgradeprogress.h"

#include "common/logging.h"

namespace corvane {

UpgradeProgress::UpgradeProgress(
    std::int64_t itemCount, std::int64_t fromVersion, std::int64_t toVersion, Timing timing)
    : m_itemCount(itemCount)
    , m_fromVersion(fromVersion)
    , m_toVersion(toVersion)
    , m_timing(timing)
{
    m_clock.start();
}

void UpgradeProgress::beginStep(const QString &description)
{
    m_step = description;
    tick();
}

bool UpgradeProgress::announceWhenDue(qint64 elapsed)
{
    if (m_announced || elapsed < m_timing.announceAfter.count())
        return false;
    m_announced = true;
    m_lastReportAt = elapsed;
    qCInfo(lcStore,
        "Upgrading the history of %lld items from version %lld to %lld; on a long history "
        "this takes a while",
        static_cast<long long>(m_itemCount), static_cast<long long>(m_fromVersion),
        static_cast<long long>(m_toVersion));
    return true;
}

void UpgradeProgress::tick()
{
    const qint64 elapsed = m_clock.elapsed();
    if (announceWhenDue(elapsed) || !m_announced)
        return;
    if (elapsed - m_lastReportAt < m_timing.reportEvery.count())
        return;
    m_lastReportAt = elapsed;
    qCInfo(lcStore, "Upgrading the history: %s, %s so far", qUtf8Printable(m_step),
        qUtf8Printable(elapsedText()));
}

void UpgradeProgress::finish()
{
    announceWhenDue(m_clock.elapsed());
    if (m_announced) {
        qCInfo(lcStore, "Upgraded the history of %lld items to version %lld in %s",
            static_cast<long long>(m_itemCount), static_cast<long long>(m_toVersion),
            qUtf8Printable(elapsedText()));
    }
}

void UpgradeProgress::fail()
{
    if (m_announced) {
        qCWarning(lcStore, "The upgrade of the history stopped after %s while %s",
            qUtf8Printable(elapsedText()), qUtf8Printable(m_step));
    }
}

QString UpgradeProgress::elapsedText() const
{
    return QStringLiteral("%1 s").arg(double(m_clock.elapsed()) / 1000.0, 0, 'f', 1);
}

} // namespace corvane
