#include "panel/historysearch.h"

#include "common/logging.h"
#include "store/errordescription.h"
#include "store/sqlitedatabase.h"

#include <QMetaObject>

namespace corvane {

namespace {

bool isInterruption(const std::exception &error)
{
    const auto *failure = dynamic_cast<const SQLiteDatabase::Error *>(&error);
    return failure && failure->isInterruption();
}

} // namespace

HistorySearch::HistorySearch(QString storeDirectory, QObject *parent)
    : QObject(parent)
    , m_storeDirectory(std::move(storeDirectory))
    , m_thread([this] { run(); })
{ }

HistorySearch::~HistorySearch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        interruptRunning();
    }
    m_wake.notify_one();
    m_thread.join();
}

void HistorySearch::searchItems(const ClipStore::Filter &filter, Ticket ticket)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending.search = filter;
        m_pending.ticket = ticket;
        interruptRunning();
    }
    m_wake.notify_one();
}

void HistorySearch::countSourceApps(std::int64_t limit)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending.sourceAppLimit = limit;
    }
    m_wake.notify_one();
}

void HistorySearch::interruptRunning()
{
    // A count interrupted for a search is asked again once the search is answered.
    if (!m_busy)
        return;
    if (m_searchStore)
        m_searchStore->interrupt();
    if (m_countStore)
        m_countStore->interrupt();
}

bool HistorySearch::takeWork(Work &taken)
{
    std::unique_lock lock(m_mutex);
    m_busy = false;
    const auto hasWork
        = [this] { return m_stopping || m_pending.search || m_pending.sourceAppLimit; };
    if (!m_wake.wait_for(lock, cacheIdle, hasWork)) {
        // Only this thread uses the stores, and no search runs: nothing to interrupt.
        lock.unlock();
        widenSearchCache(false);
        lock.lock();
        m_wake.wait(lock, hasWork);
    }
    if (m_stopping)
        return false;
    taken = {};
    m_busy = true;
    if (m_pending.search) {
        taken.search = std::exchange(m_pending.search, std::nullopt);
        taken.ticket = m_pending.ticket;
    } else {
        taken.sourceAppLimit = std::exchange(m_pending.sourceAppLimit, std::nullopt);
    }
    return true;
}

void HistorySearch::run()
{
    Work work;
    while (takeWork(work)) {
        // Counting the source applications reads a whole index: it has a connection of its
        // own, so that it does not push the searches' pages out of their cache.
        std::unique_ptr<ClipStore> &store = work.search ? m_searchStore : m_countStore;
        try {
            if (!store) {
                auto opened = std::make_unique<ClipStore>(m_storeDirectory);
                std::lock_guard lock(m_mutex);
                store = std::move(opened);
            } else {
                // Reads follow the history the recording writes to.
                store->reopenIfReplaced();
            }
        } catch (const std::exception &error) {
            const QString message = errorDescription(error);
            qCCritical(lcHistory).noquote()
                << "Could not open the history to search it:" << message;
            if (work.search)
                post([this, answer = ItemsAnswer { work.ticket, {}, message }] {
                    if (onItems)
                        onItems(answer);
                });
            continue;
        }
        if (work.search) {
            widenSearchCache(true);
            answerSearch(*store, *work.search, work.ticket);
        } else if (work.sourceAppLimit) {
            answerSourceApps(*store, *work.sourceAppLimit);
        }
    }
    std::lock_guard lock(m_mutex);
    m_searchStore.reset();
    m_countStore.reset();
}

void HistorySearch::widenSearchCache(bool widened)
{
    if (!m_searchStore)
        return;
    try {
        m_searchStore->keepSearchCache(widened);
    } catch (const std::exception &error) {
        // Searches only read more from the file.
        qCWarning(lcHistory).noquote()
            << "Could not resize the search's cache:" << errorDescription(error);
    }
}

void HistorySearch::answerSearch(ClipStore &store, const ClipStore::Filter &filter, Ticket ticket)
{
    ItemsAnswer answer { .ticket = ticket };
    try {
        answer.items = store.items(filter);
    } catch (const std::exception &error) {
        // Interrupted only because a newer search (or the end) came: nobody waits for this.
        if (isInterruption(error))
            return;
        answer.error = errorDescription(error);
    }
    post([this, answer = std::move(answer)] {
        if (onItems)
            onItems(answer);
    });
}

void HistorySearch::answerSourceApps(ClipStore &store, std::int64_t limit)
{
    try {
        std::vector<SourceApp> apps = store.sourceApps(limit);
        post([this, apps = std::move(apps)] {
            if (onSourceApps)
                onSourceApps(apps);
        });
    } catch (const std::exception &error) {
        if (isInterruption(error)) {
            std::lock_guard lock(m_mutex);
            if (!m_pending.sourceAppLimit)
                m_pending.sourceAppLimit = limit;
            return;
        }
        qCWarning(lcHistory).noquote()
            << "Could not count the source applications:" << errorDescription(error);
    }
}

void HistorySearch::post(std::function<void()> delivery)
{
    // Queued to this object: Qt drops what is still queued when it is destroyed.
    QMetaObject::invokeMethod(this, std::move(delivery), Qt::QueuedConnection);
}

} // namespace corvane
