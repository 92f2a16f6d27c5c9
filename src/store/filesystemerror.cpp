#include "filesystemerror.h"

#include <cstring>

namespace corvane {

FileSystemError::FileSystemError(QString description)
    : m_description(std::move(description))
    , m_what(m_description.toStdString())
{ }

FileSystemError FileSystemError::fromErrno(
    const QString &action, const QString &path, int errorNumber)
{
    return FileSystemError(
        QStringLiteral("%1 “%2” failed: %3.")
            .arg(action, path, QString::fromLocal8Bit(std::strerror(errorNumber))));
}

} // namespace corvane
