#include "desktopentries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

namespace corvane {

namespace {

// The program an Exec line runs, without its folder, skipping an "env VAR=value" prefix.
QString programOf(const QString &exec)
{
    const QStringList words = exec.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString word = words[i];
        word.remove(QLatin1Char('"'));
        const QString base = QFileInfo(word).fileName();
        if (base == QLatin1String("env") || word.contains(QLatin1Char('=')))
            continue;
        return base;
    }
    return {};
}

struct Parsed
{
    DesktopEntry entry;
    bool usable = false;
};

Parsed parse(const QString &path, const QString &id)
{
    Parsed parsed;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return parsed;
    const QString locale = QLocale::system().name(); // e.g. "de_DE"
    const QString language = locale.section(QLatin1Char('_'), 0, 0);
    QString name, localeName, languageName;
    QString type;
    bool hidden = false;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Name"))
            name = value;
        else if (key == QLatin1String("Name[") + locale + QLatin1Char(']'))
            localeName = value;
        else if (key == QLatin1String("Name[") + language + QLatin1Char(']'))
            languageName = value;
        else if (key == QLatin1String("Type"))
            type = value;
        else if (key == QLatin1String("Hidden"))
            hidden = value == QLatin1String("true");
        else if (key == QLatin1String("StartupWMClass"))
            parsed.entry.startupWMClass = value;
        else if (key == QLatin1String("Exec"))
            parsed.entry.executable = programOf(value);
    }
    parsed.entry.id = id;
    parsed.entry.name
        = !localeName.isEmpty() ? localeName : (!languageName.isEmpty() ? languageName : name);
    // A hidden entry means "deleted": it still hides entries of the same id further down.
    parsed.usable = !hidden && type == QLatin1String("Application") && !parsed.entry.name.isEmpty();
    return parsed;
}

QDateTime modificationTime(const QString &folder)
{
    return QFileInfo(folder).lastModified();
}

} // namespace

DesktopEntries::DesktopEntries(const QStringList &applicationFolders)
    : m_folders(applicationFolders)
{ }

QStringList DesktopEntries::standardApplicationFolders()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    QStringList folders { dataHome + QStringLiteral("/applications") };
    for (const QString &dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders.append(dir + QStringLiteral("/applications"));
    folders.removeDuplicates();
    return folders;
}

void DesktopEntries::refreshIfChanged()
{
    QHash<QString, QDateTime> times;
    for (const QString &folder : std::as_const(m_folders))
        times.insert(folder, modificationTime(folder));
    if (m_loaded && times == m_folderTimes)
        return;
    m_loaded = true;
    m_folderTimes = times;
    m_entries.clear();

    QSet<QString> seen;
    for (const QString &folder : std::as_const(m_folders)) {
        const QDir root(folder);
        QDirIterator it(folder, { QStringLiteral("*.desktop") }, QDir::Files,
            QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        QStringList paths;
        while (it.hasNext())
            paths.append(it.next());
        paths.sort();
        for (const QString &path : std::as_const(paths)) {
            // The id is the path below the folder with "/" turned into "-".
            QString id = root.relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            const Parsed parsed = parse(path, id);
            if (parsed.usable)
                m_entries.append(parsed.entry);
        }
    }
}

QList<DesktopEntry> DesktopEntries::entries()
{
    refreshIfChanged();
    return m_entries;
}

std::optional<DesktopEntry> DesktopEntries::match(
    const QString &instance, const QString &windowClass, const QString &executable)
{
    refreshIfChanged();
    const auto same = [](const QString &a, const QString &b) {
        return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
    };
    const auto namesWindow
        = [&](const QString &name) { return same(name, windowClass) || same(name, instance); };
    for (const DesktopEntry &entry : std::as_const(m_entries)) {
        if (namesWindow(entry.startupWMClass))
            return entry;
    }
    for (const DesktopEntry &entry : std::as_const(m_entries)) {
        if (namesWindow(entry.id) || namesWindow(entry.id.section(QLatin1Char('.'), -1)))
            return entry;
    }
    for (const DesktopEntry &entry : std::as_const(m_entries)) {
        if (same(entry.executable, executable))
            return entry;
    }
    return std::nullopt;
}

} // namespace corvane
