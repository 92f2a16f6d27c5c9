#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>

namespace corvane::test {

ScopedUmask::ScopedUmask(unsigned mask)
    : m_previous(::umask(mode_t(mask)))
{ }

ScopedUmask::~ScopedUmask()
{
    ::umask(mode_t(m_previous));
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path())) << path.toStdString();
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    EXPECT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
    return path;
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 residentKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

std::int64_t runQueueWaitNs()
{
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(' ');
    return fields.size() >= 2 ? fields[1].toLongLong() : 0;
}

StallMeter::StallMeter()
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_ticker, &QTimer::timeout, [this] {
        const qint64 gap = m_sinceTick.nsecsElapsed();
        m_sinceTick.start();
        const std::int64_t runQueue = runQueueWaitNs();
        m_longestGapNs = std::max(m_longestGapNs, gap);
        m_longestOwnGapNs = std::max(m_longestOwnGapNs, gap - (runQueue - m_lastRunQueueNs));
        m_lastRunQueueNs = runQueue;
    });
}

void StallMeter::start()
{
    m_lastRunQueueNs = runQueueWaitNs();
    m_sinceTick.start();
    m_ticker.start(2);
}

} // namespace corvane::test
