#include "installedfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace corvane {

QString installedDataFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share"));
}

QString installedDataFile(const QString &relativePath)
{
    const QString path = QDir(installedDataFolder()).filePath(relativePath);
    return QFileInfo::exists(path) ? path : QString();
}

} // namespace corvane
