#pragma once

#include "common/timestamp.h"
#include "store/clipcandidate.h"
#include "store/clipitem.h"
#include "store/clipstoreerror.h"
#include "store/databaseversion.h"
#include "store/fileditemids.h"
#include "store/pinboard.h"
#include "store/sqlitedatabase.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace corvane {

// The history store: the database, the folder of image payloads and the serialisation of
// every operation on them. Operations may be called from any thread; each runs to the end
// before the next starts, and the caller waits for its result. Database failures throw
// SQLiteDatabase::Error, refusals ClipStore::Error, payload file failures FileSystemError.
class ClipStore
{
public:
    using SourceApp = corvane::SourceApp;
    using Error = ClipStoreError;

    // What the history panel and the search tool ask for.
    struct Filter
    {
        QString search;
        std::optional<std::int64_t> pinboardID;
        std::set<ClipKind> kinds;
        std::set<QString> sourceBundleIDs;
        bool onlyUnfiled = false;
        std::int64_t limit = 0;
        // Above 0, texts of more UTF-8 bytes come cut to their start and marked partial: a
        // list of cards needs only the start of a 32 MB text.
        qsizetype textByteLimit = 0;

        bool operator==(const Filter &) const = default;
    };

    struct Statistics
    {
        std::int64_t itemCount = 0;
        std::int64_t totalBytes = 0;

        bool operator==(const Statistics &) const = default;
    };

    // Every caller of record passes this cap on the content's size (32 MiB).
    static constexpr std::int64_t payloadCapBytes = 33554432;
    // Where record cuts the text of the item it returns: a 32 MB text read back whole would
    // be held once more as a 64 MB string right after it was written.
    static constexpr qsizetype recordedTextByteLimit = 65536;

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

    // Recording and updating items.

    // Stores a candidate as a new item, or moves the item with the same content to the top;
    // nothing for a concealed, untitled or over-cap candidate, or when pruning removed the
    // new item at once. Prunes after a new insert. An image's payload is written to
    // "Blobs" before the row; a failed write throws FileSystemError and stores nothing. The
    // item returned has a text of more than recordedTextByteLimit bytes cut to its start
    // (ClipItem::isTextPartial): whatever writes it somewhere reads it whole with item(id).
    std::optional<ClipItem> record(const ClipCandidate &candidate, std::int64_t itemLimit,
        std::int64_t dayLimit, std::int64_t payloadCap);
    // Replaces an item's title and subtitle (a link's page title) while its text is still
    // `text`; an unknown id or an item edited since changes nothing. Whether it changed.
    bool updateTitle(std::int64_t id, const QString &text, const QString &title,
        const std::optional<QString> &subtitle);
    // Replaces an editable item's text, re-deriving title and subtitle; throws missing,
    // notEditable or duplicate.
    void updateText(std::int64_t id, const QString &text);
    // Notes that an item was pasted at `when`.
    void markUsed(std::int64_t id, Timestamp when);
    // Moves an item to the top of the history.
    void bump(std::int64_t id, Timestamp when);

    // Queries.

    // The newest items passing the filter (a pinboard's in its order), found through the
    // search index by word starts; when that finds nothing for a search of two or more
    // characters, by plain substring in title, subtitle or text (pinboard and onlyUnfiled
    // still apply there, kinds and sources do not). Throws SQLiteDatabase::Error.
    std::vector<ClipItem> items(const Filter &filter);
    std::optional<ClipItem> item(std::int64_t id);
    // The item with its whole text: itself unless a list or a recording cut its text
    // (ClipItem::isTextPartial), read again otherwise; nothing when it is gone meanwhile.
    std::optional<ClipItem> wholeItem(ClipItem item);
    // The item's whole text as UTF-8, for writing it somewhere: its own text unless cut, else
    // the stored bytes read in pieces, so a text of megabytes is never held as a string of
    // twice its size. Nothing when the item is gone meanwhile or holds no text.
    std::optional<QByteArray> wholeUtf8Text(const ClipItem &item);
    // The pieces long texts are read in, by wholeUtf8Text and by readers of readText: each
    // piece costs a walk along the row's overflow pages from its start, a larger one more
    // memory.
    static constexpr qsizetype textPieceBytes = 4 * 1024 * 1024;
    std::optional<ClipItem> itemWithFingerprint(const QString &fingerprint);
    // Hands an item's text, as its stored UTF-8, to consume in consecutive pieces of at most
    // pieceBytes, each read on a turn of its own so other operations run in between: a 32 MB
    // text is never held whole. False, possibly after some pieces, when the item is gone,
    // holds no text or no longer has the content `fingerprint` names. Throws
    // SQLiteDatabase::Error.
    bool readText(std::int64_t id, const QString &fingerprint, qsizetype pieceBytes,
        const std::function<void(QByteArrayView)> &consume);
    std::optional<ClipItem> itemWithTrigger(const QString &trigger);
    // The applications items came from, those with most items first.
    std::vector<SourceApp> sourceApps(std::int64_t maximumCount);
    // How many items there are and their recorded sizes added up.
    Statistics statistics();
    // When the newest item was made or last moved to the top; nothing in an empty history.
    std::optional<Timestamp> newestCreatedAt();

    // The search index expression for a trimmed search: every white-space separated piece
    // as a quoted prefix phrase, so nothing the user types is read as index syntax.
    static QString ftsQuery(const QString &search);
    // The LIKE pattern (escape character backslash) matching search anywhere, literally.
    static QString likePattern(const QString &search);

    // Pinboards and triggers.

    // Every pinboard in tab order, with its item count.
    std::vector<Pinboard> pinboards();
    // Adds a pinboard after the last tab; without a colour the palette is used in turn.
    Pinboard createPinboard(const QString &name, std::optional<std::int64_t> colorIndex = {});
    // Gives the listed pinboards the tab order of the list, all or nothing.
    void reorderPinboards(const std::vector<std::int64_t> &pinboardIDs);
    // Throws pinboardHoldsTriggers when the pinboard is the only home of a snippet.
    void deletePinboard(std::int64_t pinboardID);
    // Files an item first on a pinboard; an item already there keeps its place. Throws
    // missing when the item or the pinboard is gone, deleted by another process meanwhile.
    void addItem(std::int64_t pinboardID, std::int64_t itemID);
    // Throws triggerStrandedByUnfiling when this is a snippet's last pinboard.
    void removeItem(std::int64_t itemID, std::int64_t pinboardID);
    std::set<std::int64_t> pinboardIDs(std::int64_t itemID);
    // Sets (normalised) or clears an item's trigger; throws missing, notEditable,
    // triggerNeedsPinboard, emptyTrigger, spacedTrigger or triggerTaken.
    void setTrigger(std::int64_t itemID, const std::optional<QString> &trigger);
    // Every snippet's trigger and text.
    QHash<QString, QString> triggerTable();

    // Text recognised in images.

    struct UnreadImage
    {
        std::int64_t id = 0;
        QString blobPath;
    };
    // Image items whose text was not read yet, newest first.
    std::vector<UnreadImage> unreadImages(std::int64_t limit);
    // Keeps the text read from an image item (empty: read, and it holds no words); nothing
    // when the item is gone or is not an image. Whether it was kept.
    bool setRecognizedText(std::int64_t id, const QString &text);
    // The words read from an image item; nothing when none were found or it was not read.
    std::optional<QString> recognizedText(std::int64_t id);
    // Forgets every recognised text; the images are read again when reading resumes.
    void clearRecognizedTexts();

    // Pruning, deletion and clearing. Rows always go before their payload files.

    // Deletes unfiled items older than dayLimit days, then all but the newest itemLimit
    // unfiled items (of equal times, the later recorded counts as newer); a limit of 0 or
    // less does not apply. The item limit counts the item `keeping` names as the newest.
    void prune(std::int64_t itemLimit, std::int64_t dayLimit,
        std::optional<std::int64_t> keeping = std::nullopt);
    // Deletes these items, pinboard items included, with their memberships and triggers.
    void deleteItems(const std::vector<std::int64_t> &ids);
    // Deletes every item that is on no pinboard.
    void clearHistory();
    // Removes files in "Blobs" that no item names.
    void sweepOrphanBlobs();
    // One bounded step of tidying the search indexes: merges segments the way recording
    // leaves them, writing at most about `pages` pages per index in one short transaction.
    // Returns whether work is left; an index already tidy costs next to nothing.
    bool mergeSearchIndexes(int pages);

    // Opens the history again when the file at its path is no longer the one open (the
    // folder was moved, deleted or restored from a backup); recording does this itself.
    // Throws as the constructor does.
    void reopenIfReplaced();

    // Ends the query running on this store's connection early: it throws an SQLiteDatabase
    // error whose isInterruption() is true. Callable from any thread; nothing when idle.
    void interrupt();

    // Keeps searchPageCacheBytes of the history's pages in memory between statements, this
    // connection only, the history opened again included; or, not kept, SQLite's usual
    // cache, handing the pages freed back to the system. A search walks thousands of index
    // and overflow pages, and reading each again from the file was most of its time. Nothing
    // when the cache is already so; throws as queries do, and a failed change is not tried
    // again until the other is asked for.
    void keepSearchCache(bool keep);

    // SQLite's own default: about 2 MB.
    static constexpr std::int64_t defaultPageCacheBytes = 2'048'000;
    // What a connection that searches keeps: most of what one search reads at a million
    // items, so that the next search finds it in memory.
    static constexpr std::int64_t searchPageCacheBytes = 16 * 1024 * 1024;

private:
    // Runs body with the database, serialised with every other operation. Re-entrant, so
    // an operation may call another.
    template <typename Body> auto perform(Body &&body)
    {
        std::lock_guard lock(m_queue);
        return body(*m_database);
    }

    void advanceGeneration() { m_generation.fetch_add(1); }

    // Which file a path names: its device and inode.
    struct FileIdentity
    {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool operator==(const FileIdentity &) const = default;
    };
    static std::optional<FileIdentity> fileIdentity(const QString &path);
    QString databasePath() const;
    // Creates the folders and opens the database at the store's path; throws as the
    // constructor does, and keeps the database open before when it throws.
    void open();

    // The history list without a search on the Clipboard tab (onlyUnfiled, no pinboard).
    std::vector<ClipItem> unfiledItems(SQLiteDatabase &database, const Filter &filter);

    QString m_directory;
    QString m_blobDirectory;
    std::recursive_mutex m_queue;
    std::unique_ptr<SQLiteDatabase> m_database;
    // Held while m_database is replaced, so interrupt() never reaches a closed connection
    // without waiting for the operation it means to end.
    std::mutex m_databaseSwap;
    std::optional<FileIdentity> m_openedFile;
    std::atomic<std::int64_t> m_generation = 0;
    std::int64_t m_pageCacheBytes = defaultPageCacheBytes;
    FiledItemIDs m_filedItems;
    // The last source applications read, and when.
    struct SourceAppsRead
    {
        std::optional<DatabaseVersion> readAt;
        std::int64_t limit = 0;
        std::vector<SourceApp> apps;
    };
    SourceAppsRead m_sourceApps;
};

} // namespace corvane
