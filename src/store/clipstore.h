#pragma once

#include "store/pinboard.h"
#include "store/sqlitedatabase.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace corvane {

// The history store: the database, the folder of image payloads and the serialisation of
// every operation on them. Operations may be called from any thread; each runs to the end
// before the next starts, and the caller waits for its result.
class ClipStore
{
public:
    using SourceApp = corvane::SourceApp;

    // The default store directory: "Corvane" in $XDG_DATA_HOME (~/.local/share).
    static QString defaultDirectory();

    // Opens the store at directory, creating its folders and bringing the schema up to date;
    // throws FileSystemError or SQLiteDatabase::Error. The folders are private to the user
    // (0700) and the database files too (0600), whatever the umask.
    explicit ClipStore(const QString &directory = defaultDirectory());
    ~ClipStore();

    ClipStore(const ClipStore &) = delete;
    ClipStore &operator=(const ClipStore &) = delete;

    const QString &directory() const { return m_directory; }
    // The "Blobs" folder; never changes, so callers on any thread may read it.
    const QString &blobDirectory() const { return m_blobDirectory; }
    // Grows by one after every successful mutation made through this object.
    std::int64_t generation() const { return m_generation.load(); }

private:
    // Runs body with the database, serialised with every other operation. Re-entrant, so
    // an operation may call another.
    template <typename Body> auto perform(Body &&body)
    {
        std::lock_guard lock(m_queue);
        return body(*m_database);
    }

    void advanceGeneration() { m_generation.fetch_add(1); }

    QString m_directory;
    QString m_blobDirectory;
    std::recursive_mutex m_queue;
    std::unique_ptr<SQLiteDatabase> m_database;
    std::atomic<std::int64_t> m_generation = 0;
};

} // namespace corvane
