#include "clipstore.h"

#include "store/filesystemerror.h"
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
    const int descriptor
        = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, privateFileMode);
    if (descriptor >= 0) {
        // The umask may have taken bits away, never added them; set the mode exactly.
        ::fchmod(descriptor, privateFileMode);
        ::close(descriptor);
    }
    // Failures here surface as SQLite's own error when it opens the file.
    for (const char *suffix : { "-wal", "-shm" }) {
        const QByteArray companion = native + suffix;
        ::chmod(companion.constData(), privateFileMode);
    }
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
    createPrivateFolder(m_directory);
    createPrivateFolder(m_blobDirectory);
    const QString databasePath = QDir(m_directory).filePath(QStringLiteral("history.sqlite"));
    preparePrivateDatabaseFile(databasePath);
    m_database = std::make_unique<SQLiteDatabase>(databasePath);
    perform([](SQLiteDatabase &database) { upgradeSchema(database); });
}

ClipStore::~ClipStore() = default;

} // namespace corvane
