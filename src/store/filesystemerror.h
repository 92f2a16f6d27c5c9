#pragma once

#include <QString>

#include <exception>
#include <string>

namespace corvane {

// A file or folder of the store could not be created, written or read.
class FileSystemError : public std::exception
{
public:
    explicit FileSystemError(QString description);

    // Builds the error for a failed system call on path from errno's value.
    static FileSystemError fromErrno(const QString &action, const QString &path, int errorNumber);

    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    QString m_description;
    std::string m_what;
};

} // namespace corvane
