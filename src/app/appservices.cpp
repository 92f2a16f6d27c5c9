#include "appservices.h"

#include "preferences/preferences.h"
#include "capture/clipboardwatcher.h"
#include "capture/linkenricher.h"
#include "panel/dragitemprovider.h"
#include "store/clipstore.h"

#include <QDir>

namespace corvane {

AppServices::AppServices(const Desktop &desktop)
    : AppServices(desktop, ClipStore::defaultDirectory(), Preferences::defaultSettingsPath())
{ }

AppServices::AppServices(
    const Desktop &desktop, const QString &storeDirectory, const QString &settingsPath)
    : m_store(std::make_unique<ClipStore>(storeDirectory))
    , m_preferences(std::make_unique<Preferences>(settingsPath))
{
    // The watcher takes the clipboard's change count now: what it holds at launch is not
    // recorded.
    m_watcher = std::make_unique<ClipboardWatcher>(
        *m_store, *m_preferences, desktop.pasteboard, desktop.workspace);
    m_linkEnricher = std::make_unique<LinkEnricher>(*m_store, linkTitleTimeout);

    // Both services die with this object, so the callbacks never outlive what they use.
    m_watcher->onCapture = [this](const ClipItem &item) {
        if (m_preferences->fetchesLinkPreviews())
            m_linkEnricher->enrich(item);
    };
}

AppServices::~AppServices() = default;

void AppServices::start()
{
    m_watcher->start(watcherInterval);
    try {
        m_store->sweepOrphanBlobs();
    } catch (const std::exception &) {
        // Start-up maintenance is retried at the next start; it never stops this one.
    }
    clearDragFolder();
}

QString AppServices::displayedLocation(const QString &folder, const QString &home)
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
