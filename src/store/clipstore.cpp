#include "clipstore.h"

#include "common/largeblocks.h"
#include "common/logging.h"
#include "store/blobfiles.h"
#include "store/filesystemerror.h"
#include "store/itemtitle.h"
#include "store/rowreading.h"
#include "store/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace corvane {

namespace {

constexpr mode_t privateFolderMode = 0700;
constexpr mode_t privateFileMode = 0600;

// Creates path (and its parents) and makes it readable by the user alone; an existing
// folder with looser modes is tightened.
void createPrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        throw FileSystemError(QStringLiteral("“%1” exists and is not a folder.").arg(path));
    if (!info.exists()) {
        const QString parent = info.absolutePath();
        if (!QDir().mkpath(parent))
            throw FileSystemError(QStringLiteral("Creating the folder “%1” failed.").arg(parent));
        const QByteArray native = QFile::encodeName(path);
        if (::mkdir(native.constData(), privateFolderMode) != 0 && errno != EEXIST)
            throw FileSystemError::fromErrno(QStringLiteral("Creating the folder"), path, errno);
    }
    const QByteArray native = QFile::encodeName(path);
    struct stat status
    { };
    if (::stat(native.constData(), &status) != 0)
        throw FileSystemError::fromErrno(QStringLiteral("Reading the folder"), path, errno);
    if (!S_ISDIR(status.st_mode))
        throw FileSystemError(QStringLiteral("“%1” exists and is not a folder.").arg(path));
    if ((status.st_mode & 0777) != privateFolderMode
        && ::chmod(native.constData(), privateFolderMode) != 0) {
        throw FileSystemError::fromErrno(QStringLiteral("Protecting the folder"), path, errno);
    }
}

// Creates the database file before SQLite does, so that it (and the WAL and shared-memory
// files, which SQLite creates with the database file's mode) are private to the user.
void preparePrivateDatabaseFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    // Only a file that does not exist yet is opened here: closing a descriptor of a file
    // this process has open in SQLite would drop every POSIX lock the process holds on it,
    // those of the store's other connections included.
    const int descriptor
        = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, privateFileMode);
    if (descriptor >= 0)
        ::close(descriptor);
    // The umask may have taken bits away, never added them; set the mode exactly.
    ::chmod(native.constData(), privateFileMode);
    // Failures here surface as SQLite's own error when it opens the file.
    for (const char *suffix : { "-wal", "-shm" }) {
        const QByteArray companion = native + suffix;
        ::chmod(companion.constData(), privateFileMode);
    }
}

// The first item the condition selects, its text cut as record returns it.
std::optional<ClipItem> firstItemCut(SQLiteDatabase &database, const QString &condition,
    const std::vector<SQLiteDatabase::Value> &bindings)
{
    std::vector<ClipItem> found = ClipItem::readAll(database,
        QStringLiteral("SELECT %1 FROM items WHERE %2 LIMIT 1")
            .arg(ClipItem::listedColumns(ClipStore::recordedTextByteLimit), condition),
        bindings, 1, ClipStore::recordedTextByteLimit);
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

// An item recorded before, moved to the top of the history: stamped capturedAt, or just
// after the newest other item when that one was made in the same millisecond or later
// (equal times sort by id, and this one keeps its id from long ago).
ClipItem movedToTop(SQLiteDatabase &database, ClipItem existing, std::int64_t capturedAt)
{
    const std::int64_t newestOther = rows::firstInteger(
        database.query(QStringLiteral("SELECT created_at AS n FROM items WHERE id <> ? "
                                      "ORDER BY created_at DESC LIMIT 1"),
            { existing.id }),
        QStringLiteral("n"), capturedAt - 1);
    const std::int64_t stamped = std::max(capturedAt, newestOther + 1);
    database.query(QStringLiteral("UPDATE items SET created_at = ?, last_used_at = ? WHERE id = ?"),
        { stamped, stamped, existing.id });
    existing.createdAt = fromMillis(stamped);
    existing.lastUsedAt = fromMillis(stamped);
    return existing;
}

// Adds the candidate's row; its id.
std::int64_t insertRow(SQLiteDatabase &database, const ClipCandidate &candidate,
    const QString &print, const std::optional<QString> &blobName, std::int64_t capturedAt)
{
    database.query(
        QStringLiteral("INSERT INTO items (kind, text, title, subtitle, blob_name, file_bookmark, "
                       "byte_count,\n                   source_bundle_id, source_app_name, "
                       "created_at, last_used_at, fingerprint)\nVALUES (?, ?, ?, ?, ?, ?, ?, ?, "
                       "?, ?, ?, ?)"),
        {
            storedString(candidate.kind),
            rows::utf8TextOrNull(candidate.text),
            candidate.title,
            rows::textOrNull(candidate.subtitle),
            rows::textOrNull(blobName),
            rows::blobOrNull(candidate.fileBookmark),
            candidate.byteCount,
            rows::textOrNull(candidate.sourceBundleID),
            rows::textOrNull(candidate.sourceAppName),
            capturedAt,
            capturedAt,
            print,
        });
    return database.lastInsertRowId();
}

} // namespace

QString ClipStore::defaultDirectory()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        throw FileSystemError(QStringLiteral("The user's data folder could not be found."));
    return QDir(dataHome).filePath(QStringLiteral("Corvane"));
}

ClipStore::ClipStore(const QString &directory)
    : m_directory(QDir::cleanPath(QDir(directory).absolutePath()))
    , m_blobDirectory(QDir(m_directory).filePath(QStringLiteral("Blobs")))
{
    open();
}

ClipStore::~ClipStore() = default;

void ClipStore::open()
{
    createPrivateFolder(m_directory);
    createPrivateFolder(m_blobDirectory);
    const QString path = databasePath();
    preparePrivateDatabaseFile(path);
    auto database = std::make_unique<SQLiteDatabase>(path);
    upgradeSchema(*database);
    std::lock_guard lock(m_queue);
    if (m_pageCacheBytes != defaultPageCacheBytes)
        database->setPageCacheLimit(m_pageCacheBytes);
    {
        std::lock_guard swapping(m_databaseSwap);
        m_database.swap(database);
    }
    m_openedFile = fileIdentity(path);
    m_filedItems = {};
    m_sourceApps = {};
}

void ClipStore::interrupt()
{
    std::lock_guard swapping(m_databaseSwap);
    if (m_database)
        m_database->interrupt();
}

void ClipStore::keepSearchCache(bool keep)
{
    const std::int64_t bytes = keep ? searchPageCacheBytes : defaultPageCacheBytes;
    const bool changed = perform([&](SQLiteDatabase &database) {
        if (bytes == m_pageCacheBytes)
            return false;
        // Recorded first: the history opened again takes it, and a failure is not retried
        // at every search.
        m_pageCacheBytes = bytes;
        database.setPageCacheLimit(bytes);
        return true;
    });
    if (changed && !keep)
        returnFreedMemory();
}

QString ClipStore::databasePath() const
{
    return QDir(m_directory).filePath(QStringLiteral("history.sqlite"));
}

std::optional<ClipStore::FileIdentity> ClipStore::fileIdentity(const QString &path)
{
    struct stat status
    { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity { std::uint64_t(status.st_dev), std::uint64_t(status.st_ino) };
}

// SQLite keeps writing to the file it opened even after that file was deleted or replaced,
// so copies recorded then would vanish with the process. The history is opened again at its
// path instead: a deleted folder is created anew, and anything in the way (a file where the
// folder was) fails the write with its reason until it is gone.
void ClipStore::reopenIfReplaced()
{
    std::lock_guard lock(m_queue);
    const std::optional<FileIdentity> current = fileIdentity(databasePath());
    if (current && current == m_openedFile)
        return;
    qCWarning(lcStore,
        "The history file “%s” was removed or replaced while in use; opening it "
        "again",
        qUtf8Printable(databasePath()));
    open();
    advanceGeneration();
}

std::optional<ClipItem> ClipStore::record(const ClipCandidate &candidate, std::int64_t itemLimit,
    std::int64_t dayLimit, std::int64_t payloadCap)
{
    // Refusals are decided before waiting for the store, so a refused copy costs nothing.
    if (candidate.isConcealed || candidate.title.isEmpty())
        return std::nullopt;
    if (candidate.byteCount > payloadCap) {
        qCInfo(lcStore, "Dropped a %ld byte %s — over the payload cap",
            static_cast<long>(candidate.byteCount), qUtf8Printable(storedString(candidate.kind)));
        return std::nullopt;
    }

    reopenIfReplaced();
    return perform([&](SQLiteDatabase &database) -> std::optional<ClipItem> {
        const QString print = fingerprintOfUtf8(candidate.kind, candidate.text, candidate.payload);
        const std::int64_t capturedAt = toMillis(candidate.capturedAt);
        const QString byPrint = QStringLiteral("fingerprint = ?");
        const auto repeated = [&](ClipItem existing) {
            ClipItem moved = movedToTop(database, std::move(existing), capturedAt);
            advanceGeneration();
            return moved;
        };

        if (std::optional<ClipItem> existing = firstItemCut(database, byPrint, { print }))
            return repeated(std::move(*existing));

        std::optional<QString> blobName;
        if (candidate.payload && candidate.kind == ClipKind::image) {
            blobName = print + QStringLiteral(".data");
            writeBlobAtomically(m_blobDirectory, *blobName, *candidate.payload);
        }
        std::int64_t id = 0;
        try {
            id = insertRow(database, candidate, print, blobName, capturedAt);
        } catch (const SQLiteDatabase::Error &error) {
            // Another process recorded the same contents between the look-up and the insert
            // (a tool server saving what was just copied): its row stands for this copy too,
            // and the payload file, named by the contents, is that row's.
            std::optional<ClipItem> meanwhile = error.isConstraintViolation()
                ? firstItemCut(database, byPrint, { print })
                : std::nullopt;
            if (!meanwhile)
                throw;
            return repeated(std::move(*meanwhile));
        }
        prune(itemLimit, dayLimit, id);
        advanceGeneration();
        return firstItemCut(database, QStringLiteral("id = ?"), { id });
    });
}

bool ClipStore::updateTitle(std::int64_t id, const QString &text, const QString &title,
    const std::optional<QString> &subtitle)
{
    return perform([&](SQLiteDatabase &database) {
        // Compared in the statement, so an edit saved by another process in between counts.
        const std::int64_t before = database.changeCount();
        database.query(
            QStringLiteral("UPDATE items SET title = ?, subtitle = ? WHERE id = ? AND text = ?"),
            { title, rows::textOrNull(subtitle), id, text });
        advanceGeneration();
        return database.changeCount() != before;
    });
}

void ClipStore::updateText(std::int64_t id, const QString &text)
{
    perform([&](SQLiteDatabase &database) {
        const std::optional<ClipItem> current = item(id);
        if (!current)
            throw Error::missing();
        if (!isEditable(current->kind))
            throw Error::notEditable();

        const std::int64_t byteCount = text.toUtf8().size();
        const QString print = fingerprint(current->kind, text, std::nullopt);

        const std::optional<ClipItem> holder = itemWithFingerprint(print);
        if (holder && holder->id != id)
            throw Error::duplicate();

        const ItemTitle title = titleOfText(text);
        try {
            database.query(QStringLiteral("UPDATE items SET text = ?, title = ?, subtitle = ?, "
                                          "byte_count = ?, fingerprint = ?\nWHERE id = ?"),
                { text, title.title, rows::textOrNull(title.subtitle), byteCount, print, id });
        } catch (const SQLiteDatabase::Error &error) {
            // Another process recorded that text since the look-up above.
            if (error.isConstraintViolation() && itemWithFingerprint(print))
                throw Error::duplicate();
            throw;
        }
        advanceGeneration();
    });
}

void ClipStore::markUsed(std::int64_t id, Timestamp when)
{
    perform([&](SQLiteDatabase &database) {
        database.query(QStringLiteral("UPDATE items SET last_used_at = ? WHERE id = ?"),
            { toMillis(when), id });
        advanceGeneration();
    });
}

void ClipStore::bump(std::int64_t id, Timestamp when)
{
    perform([&](SQLiteDatabase &database) {
        database.query(
            QStringLiteral("UPDATE items SET created_at = ?, last_used_at = ? WHERE id = ?"),
            { toMillis(when), toMillis(when), id });
        advanceGeneration();
    });
}

} // namespace corvane
