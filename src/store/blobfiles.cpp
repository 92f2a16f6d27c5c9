#include "blobfiles.h"

#include "store/filesystemerror.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace corvane {

namespace {

constexpr qsizetype blobDigits = 64;
constexpr mode_t privateFileMode = 0600;
constexpr mode_t privateFolderMode = 0700;

bool isLowerHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
}

// Closes a descriptor and unlinks the temporary file unless it was renamed into place.
class TemporaryFile
{
public:
    TemporaryFile(int descriptor, QByteArray path)
        : m_descriptor(descriptor)
        , m_path(std::move(path))
    { }
    ~TemporaryFile()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        if (!m_renamed)
            ::unlink(m_path.constData());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int descriptor() const { return m_descriptor; }
    const QByteArray &path() const { return m_path; }
    // Closes the descriptor, reporting a failure of the final flush.
    int close()
    {
        const int result = ::close(m_descriptor);
        m_descriptor = -1;
        return result;
    }
    void markRenamed() { m_renamed = true; }

private:
    int m_descriptor;
    QByteArray m_path;
    bool m_renamed = false;
};

} // namespace

bool isBlobName(const QString &name)
{
    static const QString extension = QStringLiteral(".data");
    if (name.size() != blobDigits + extension.size() || !name.endsWith(extension))
        return false;
    for (qsizetype i = 0; i < blobDigits; ++i) {
        if (!isLowerHexDigit(name.at(i)))
            return false;
    }
    return true;
}

void writeBlobAtomically(const QString &folder, const QString &name, const QByteArray &bytes)
{
    const QByteArray nativeFolder = QFile::encodeName(folder);
    // Someone may have removed the folder while the store was open; recreate it rather than
    // refusing every image from now on. A file in its place still fails below.
    if (::mkdir(nativeFolder.constData(), privateFolderMode) != 0 && errno != EEXIST)
        throw FileSystemError::fromErrno(QStringLiteral("Creating the folder"), folder, errno);

    // The leading dot keeps a half-written file from ever passing isBlobName; if the process
    // dies before the rename, the next orphan sweep removes it.
    QByteArray pattern = nativeFolder + "/." + QFile::encodeName(name) + ".XXXXXX";
    const int descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor < 0)
        throw FileSystemError::fromErrno(QStringLiteral("Creating a file in"), folder, errno);
    TemporaryFile temporary(descriptor, pattern);
    const QString temporaryPath = QFile::decodeName(pattern);
    // mkostemp already creates 0600; stating it keeps the rule visible and umask-proof.
    ::fchmod(descriptor, privateFileMode);

    const char *data = bytes.constData();
    qsizetype remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t written = ::write(descriptor, data, std::size_t(remaining));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw FileSystemError::fromErrno(QStringLiteral("Writing"), temporaryPath, errno);
        }
        data += written;
        remaining -= written;
    }
    // Flushed before the rename, so a crash never leaves a named but truncated payload.
    if (::fsync(descriptor) != 0)
        throw FileSystemError::fromErrno(QStringLiteral("Writing"), temporaryPath, errno);
    if (temporary.close() != 0)
        throw FileSystemError::fromErrno(QStringLiteral("Writing"), temporaryPath, errno);

    const QString finalPath = folder + QLatin1Char('/') + name;
    if (::rename(pattern.constData(), QFile::encodeName(finalPath).constData()) != 0)
        throw FileSystemError::fromErrno(QStringLiteral("Saving"), finalPath, errno);
    temporary.markRenamed();
}

void removeBlob(const QString &folder, const QString &name)
{
    if (!isBlobName(name))
        return;
    ::unlink(QFile::encodeName(folder + QLatin1Char('/') + name).constData());
}

} // namespace corvane
