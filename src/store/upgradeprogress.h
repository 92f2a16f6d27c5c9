#pragma once

#include <QElapsedTimer>
#include <QString>

#include <chrono>
#include <cstdint>

namespace corvane {

// Tells the log about an upgrade of the history that takes long: nothing until it has run
// for announceAfter, then one line with the history's size and versions, a line at least
// every reportEvery while it runs (fed by tick), and one with its duration when it ends.
// A quick upgrade logs nothing.
class UpgradeProgress
{
public:
    struct Timing
    {
        std::chrono::milliseconds announceAfter { 1000 };
        std::chrono::milliseconds reportEvery { 3000 };
    };

    UpgradeProgress(
        std::int64_t itemCount, std::int64_t fromVersion, std::int64_t toVersion, Timing timing);

    // Names the work running from now on, as a phrase ("rebuilding the search indexes").
    void beginStep(const QString &description);
    // Logs what is due; cheap enough to be called thousands of times a second.
    void tick();
    // Logs the total duration, when the start was logged.
    void finish();
    // Logs how long it ran before failing, when the start was logged.
    void fail();

    bool announced() const { return m_announced; }

private:
    // Logs the start once announceAfter has passed; whether it did now.
    bool announceWhenDue(qint64 elapsed);
    QString elapsedText() const;

    std::int64_t m_itemCount;
    std::int64_t m_fromVersion;
    std::int64_t m_toVersion;
    Timing m_timing;
    QElapsedTimer m_clock;
    QString m_step;
    bool m_announced = false;
    qint64 m_lastReportAt = 0;
};

} // namespace corvane
