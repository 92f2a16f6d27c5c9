#include "startupmaintenance.h"

#include "common/logging.h"
#include "store/clipstore.h"

#include <QElapsedTimer>

namespace corvane {

StartupMaintenance::StartupMaintenance(ClipStore &store)
    : m_store(store)
    , m_thread([this](const std::stop_token &stop) { run(stop); })
{ }

StartupMaintenance::~StartupMaintenance()
{
    m_thread.request_stop();
    wait();
}

void StartupMaintenance::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void StartupMaintenance::run(const std::stop_token &stop)
{
    const QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    // Failures are retried at the next start; they never stop this one.
    try {
        m_store.sweepOrphanBlobs();
        int steps = 0;
        while (!stop.stop_requested() && m_store.mergeSearchIndexes(pagesPerStep)) {
            ++steps;
            std::this_thread::sleep_for(pause);
        }
        if (timer.elapsed() > 1000)
            qCInfo(lcStore, "Tidied the history in %d steps, %lld ms", steps,
                static_cast<long long>(timer.elapsed()));
    } catch (const std::exception &error) {
        qCWarning(lcStore) << "Could not tidy the history at start:" << error.what();
    }
}

} // namespace corvane
