#include "appicons.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QStandardPaths>
#include <QTextStream>

namespace corvane {

namespace {

QMutex cacheMutex;
QHash<QString, QIcon> cache;
int lookups = 0;

// The Icon value of the desktop entry named by id: the main group's key only.
QString iconKey(const QString &desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inMainGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inMainGroup = line == QLatin1String("[Desktop Entry]");
        else if (inMainGroup && line.startsWith(QLatin1String("Icon=")))
            return line.mid(5).trimmed();
    }
    return {};
}

QIcon lookUp(const QString &bundleID)
{
    if (bundleID.isEmpty() || bundleID.contains(QLatin1Char('/')))
        return {};
    const QString fileName = bundleID + QStringLiteral(".desktop");
    QString iconName;
    for (const QString &folder :
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        const QString path = QDir(folder).filePath(fileName);
        if (QFile::exists(path)) {
            iconName = iconKey(path);
            break;
        }
    }
    if (iconName.isEmpty())
        return {};
    if (QDir::isAbsolutePath(iconName))
        return QFile::exists(iconName) ? QIcon(iconName) : QIcon();
    QIcon icon = QIcon::fromTheme(iconName);
    if (!icon.isNull())
        return icon;
    // Entries often name a picture in the shared pixmaps folder rather than a theme icon.
    for (const char *suffix : { ".png", ".svg", ".xpm" }) {
        const QString path
            = QStringLiteral("/usr/share/pixmaps/") + iconName + QLatin1String(suffix);
        if (QFile::exists(path))
            return QIcon(path);
    }
    return {};
}

} // namespace

QIcon AppIcons::icon(const QString &bundleID)
{
    QMutexLocker locker(&cacheMutex);
    const auto found = cache.constFind(bundleID);
    if (found != cache.constEnd())
        return *found;
    ++lookups;
    const QIcon icon = lookUp(bundleID);
    cache.insert(bundleID, icon);
    return icon;
}

bool AppIcons::hasIcon(const QString &bundleID)
{
    return !bundleID.isEmpty() && !icon(bundleID).isNull();
}

int AppIcons::lookupCount()
{
    QMutexLocker locker(&cacheMutex);
    return lookups;
}

} // namespace corvane
