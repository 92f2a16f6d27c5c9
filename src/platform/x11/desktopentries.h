#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvane {

// An application's desktop entry, as far as telling which application a window belongs to
// needs it.
struct DesktopEntry
{
    QString id;
    QString name;
    QString startupWMClass;
    QString executable;

    bool operator==(const DesktopEntry &) const = default;
};

// The installed applications' desktop entries, read once from the applications folders and
// read again only when one of those folders changed.
class DesktopEntries
{
public:
    // Folders in order of precedence: an entry in an earlier folder hides one with the same
    // id in a later folder.
    explicit DesktopEntries(const QStringList &applicationFolders);

    // The folders the XDG base directory standard names: $XDG_DATA_HOME/applications,
    // then each of $XDG_DATA_DIRS.
    static QStringList standardApplicationFolders();

    // The entry for a window with this WM_CLASS instance and class, run from this executable
    // (any may be empty): the entry whose StartupWMClass names the class or instance, else
    // whose id (or its last dotted part) does, else whose Exec runs the executable. Case is
    // ignored. Nothing when none matches.
    std::optional<DesktopEntry> match(
        const QString &instance, const QString &windowClass, const QString &executable);

    // Every entry, after refreshing if a folder changed.
    QList<DesktopEntry> entries();

private:
    void refreshIfChanged();

    QStringList m_folders;
    QHash<QString, QDateTime> m_folderTimes;
    QList<DesktopEntry> m_entries;
    bool m_loaded = false;
};

} // namespace corvane
