#pragma once

#include "store/clipitem.h"
#include "store/clipstore.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace corvane {

// Reads what the panel shows on a thread of its own, over its own connection to the history,
// so a search over a long history never holds up typing: the searches typed in the panel and
// the count of items per source application. Only the newest search matters: a search asked
// for while another is pending replaces it, and one running is interrupted. Answers arrive on
// the thread that created this object, through the callbacks, in the order asked.
class HistorySearch : public QObject
{
    Q_OBJECT

public:
    // Ties an answer to its question: the model drops answers to a question it no longer
    // asks.
    using Ticket = std::uint64_t;

    struct ItemsAnswer
    {
        Ticket ticket = 0;
        std::vector<ClipItem> items;
        // Set instead of items when the store failed.
        std::optional<QString> error;
    };

    // Opens its own connection to the store in directory on its thread, at the first question.
    explicit HistorySearch(QString storeDirectory, QObject *parent = nullptr);
    // Interrupts what runs and waits for the thread; no callback runs afterwards.
    ~HistorySearch() override;

    HistorySearch(const HistorySearch &) = delete;
    HistorySearch &operator=(const HistorySearch &) = delete;

    // The searches keep ClipStore::searchPageCacheBytes of the history's pages in memory
    // while the user types, so that each key press finds most of what the last one read; it
    // goes back to SQLite's usual 2 MB after cacheIdle without work.
    static constexpr std::chrono::seconds cacheIdle { 10 };

    std::function<void(const ItemsAnswer &)> onItems;
    std::function<void(const std::vector<SourceApp> &)> onSourceApps;

    // Asks for the items passing filter, superseding any search not yet answered.
    void searchItems(const ClipStore::Filter &filter, Ticket ticket);
    // Asks for the applications with most items (at most limit), after the pending search.
    void countSourceApps(std::int64_t limit);

private:
    struct Work
    {
        std::optional<ClipStore::Filter> search;
        Ticket ticket = 0;
        std::optional<std::int64_t> sourceAppLimit;
    };

    void run();
    void widenSearchCache(bool widened);
    // Takes the next piece of work and notes what runs; nothing once stopping.
    bool takeWork(Work &taken);
    void answerSearch(ClipStore &store, const ClipStore::Filter &filter, Ticket ticket);
    void answerSourceApps(ClipStore &store, std::int64_t limit);
    // Ends the statement running on the worker's connections; called with m_mutex held, so
    // the worker cannot move on to the newer question in between.
    void interruptRunning();
    void post(std::function<void()> delivery);

    const QString m_storeDirectory;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Work m_pending;
    // Whether the worker is answering a question (a search or a count).
    bool m_busy = false;
    bool m_stopping = false;
    // Opened on the worker thread; read by interruptRunning under m_mutex.
    std::unique_ptr<ClipStore> m_searchStore;
    std::unique_ptr<ClipStore> m_countStore;
    std::thread m_thread;
};

} // namespace corvane
