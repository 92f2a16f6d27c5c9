#include "errordescription.h"

#include "store/clipstoreerror.h"
#include "store/filesystemerror.h"
#include "store/sqlitedatabase.h"

namespace corvane {

QString errorDescription(const std::exception &error)
{
    if (const auto *refusal = dynamic_cast<const ClipStoreError *>(&error))
        return refusal->fullMessage();
    if (const auto *database = dynamic_cast<const SQLiteDatabase::Error *>(&error))
        return database->description();
    if (const auto *fileSystem = dynamic_cast<const FileSystemError *>(&error))
        return fileSystem->description();
    return QString::fromLocal8Bit(error.what());
}

} // namespace corvane
