#include "panel/delayscheduler.h"

#include <QTimer>

namespace corvane {

DelayScheduler::~DelayScheduler() = default;

void QtDelayScheduler::runAfter(
    std::chrono::milliseconds delay, QObject *context, std::function<void()> task)
{
    // The context object makes Qt drop the call when the owner is destroyed first.
    QTimer::singleShot(delay, Qt::PreciseTimer, context, std::move(task));
}

} // namespace corvane
