#pragma once

#include <chrono>
#include <thread>

namespace corvane {

class ClipStore;

// The store's tidying at every start: payload files no item names are removed and the search
// indexes are merged, on a thread of its own and in short steps, so that neither recording
// on the main thread nor a tool server saving meanwhile waits for more than one step. Stops
// (between steps) when destroyed.
class StartupMaintenance
{
public:
    // Pages each index may write in one step; a step takes a few milliseconds.
    static constexpr int pagesPerStep = 64;
    // Left between steps, so that waiting writers get the store first.
    static constexpr std::chrono::milliseconds pause { 5 };

    explicit StartupMaintenance(ClipStore &store);
    ~StartupMaintenance();

    StartupMaintenance(const StartupMaintenance &) = delete;
    StartupMaintenance &operator=(const StartupMaintenance &) = delete;

    // Blocks until the work is done or stopped; for tests and benchmarks.
    void wait();

private:
    void run(const std::stop_token &stop);

    ClipStore &m_store;
    std::jthread m_thread;
};

} // namespace corvane
