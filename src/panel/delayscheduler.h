#pragma once

#include <QObject>

#include <chrono>
#include <functional>

namespace corvane {

// Runs work later on the calling thread. The panel's short-lived messages, animations and
// the drag poll go through it, so tests can replace the clock instead of sleeping.
class DelayScheduler
{
public:
    virtual ~DelayScheduler();

    // Runs task once after delay, unless context has been destroyed by then.
    virtual void runAfter(
        std::chrono::milliseconds delay, QObject *context, std::function<void()> task)
        = 0;
};

// The real clock: Qt's single-shot timers on the event loop of context's thread. The timers
// are precise ones, so a 50 ms poll does not drift to the coarse timers' 5 % slack.
class QtDelayScheduler : public DelayScheduler
{
public:
    void runAfter(
        std::chrono::milliseconds delay, QObject *context, std::function<void()> task) override;
};

} // namespace corvane
