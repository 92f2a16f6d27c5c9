#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <functional>

namespace corvane::test {

// Runs the event loop until done() holds or the time is up; whether done() held. It never
// sleeps, so timers, sockets and other processes' replies are handled at their own pace.
inline bool spinUntil(const std::function<bool()> &done,
    std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
{
    QDeadlineTimer deadline(timeout);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs the event loop for the whole duration.
inline void spinFor(std::chrono::milliseconds duration)
{
    spinUntil([] { return false; }, duration);
}

} // namespace corvane::test
