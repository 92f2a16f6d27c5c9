#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <gtest/gtest.h>

namespace corvane::test {

// A fresh temporary folder that is removed with the fixture.
class TemporaryFolderTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    QString path(const QString &name = {}) const
    {
        return name.isEmpty() ? m_folder.path() : m_folder.filePath(name);
    }

private:
    QTemporaryDir m_folder;
};

// Sets the process umask for the lifetime of the object.
class ScopedUmask
{
public:
    explicit ScopedUmask(unsigned mask);
    ~ScopedUmask();

private:
    unsigned m_previous;
};

// Writes bytes to a file, creating its folder first; the file's path. A failure to write is
// a test failure.
QString writeFile(const QString &path, const QByteArray &bytes);

// The text of a file, empty when it cannot be read.
QByteArray fileContents(const QString &path);

// The resident memory of a process in kB, from the kernel's status file; 0 when unknown.
qint64 residentKilobytes(qint64 pid);

// Nanoseconds this thread has spent runnable but waiting for a CPU (the kernel's schedstat).
std::int64_t runQueueWaitNs();

// Ticks every 2 ms on this thread's event loop and keeps the longest gap between two ticks,
// also once the time the thread spent waiting for a CPU is taken out: on a loaded machine
// the scheduler alone can delay a tick, and that is no stall of this thread's making.
class StallMeter
{
public:
    StallMeter();
    void start();
    void stop() { m_ticker.stop(); }
    qint64 longestGapNs() const { return m_longestGapNs; }
    qint64 longestOwnGapNs() const { return m_longestOwnGapNs; }

private:
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    std::int64_t m_lastRunQueueNs = 0;
    qint64 m_longestGapNs = 0;
    qint64 m_longestOwnGapNs = 0;
};

} // namespace corvane::test
