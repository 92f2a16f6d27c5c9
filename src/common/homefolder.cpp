#include "homefolder.h"

namespace corvane {

QString withHomeAsTilde(const QString &folder, const QString &home)
{
    const QString location = QDir::cleanPath(folder);
    const QString homeFolder = QDir::cleanPath(home);
    if (homeFolder.isEmpty() || homeFolder == QStringLiteral("/"))
        return location;
    if (location == homeFolder)
        return QStringLiteral("~");
    if (location.startsWith(homeFolder + QLatin1Char('/')))
        return QStringLiteral("~") + location.mid(homeFolder.size());
    return location;
}

} // namespace corvane
