#pragma once

#include <QByteArray>
#include <QString>

namespace corvane {

// Whether name can be a payload file the store wrote: 64 lowercase hexadecimal digits and
// ".data". Names read from the database are used for files only when this holds, so a
// tampered row can never reach a file outside the payload folder.
bool isBlobName(const QString &name);

// Writes bytes to folder/name through a private temporary file that is renamed into place,
// so readers see the old file or the whole new one; the file is readable by the user alone.
// Throws FileSystemError. The folder is created (private) when it has gone missing.
void writeBlobAtomically(const QString &folder, const QString &name, const QByteArray &bytes);

// Deletes folder/name when name passes isBlobName; failures are ignored.
void removeBlob(const QString &folder, const QString &name);

} // namespace corvane
