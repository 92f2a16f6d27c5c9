#include "appservices.h"

#include "app/accessibilitymonitor.h"
#include "app/crashrecoveryagent.h"
#include "app/feedbackservice.h"
#include "app/startupmaintenance.h"
#include "app/updater.h"
#include "capture/clipboardkeeper.h"
#include "capture/clipboardwatcher.h"
#include "capture/linkenricher.h"
#include "common/logging.h"
#include "expansion/emojinametable.h"
#include "expansion/textexpander.h"
#include "panel/delayscheduler.h"
#include "panel/dragitemprovider.h"
#include "panel/historymodel.h"
#include "panel/hotkey.h"
#include "panel/panelcontroller.h"
#include "panel/panelwindow.h"
#include "panel/paster.h"
#include "platform/clipboardownership.h"
#include "platform/pasteboard.h"
#include "platform/workspace.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <future>
#include <utility>

namespace corvane {

AppServices::AppServices(const Desktop &desktop)
    : AppServices(desktop, ClipStore::defaultDirectory(), Preferences::defaultSettingsPath())
{ }

AppServices::AppServices(
    const Desktop &desktop, const QString &storeDirectory, const QString &settingsPath)
    : m_desktop(desktop)
    , m_store(openStore(storeDirectory))
    , m_preferences(std::make_unique<Preferences>(settingsPath))
    , m_scheduler(std::make_unique<QtDelayScheduler>())
    , m_accessibility(std::make_unique<AccessibilityMonitor>(desktop.hasKeyboardAccess))
    , m_updater(std::make_unique<Updater>(*m_preferences))
    , m_feedback(std::make_unique<FeedbackService>())
{
    m_paster = std::make_unique<Paster>(*m_store, desktop.pasteboard, desktop.keystrokes,
        *m_scheduler, [monitor = m_accessibility.get()] { return monitor->isTrusted(); });
    m_search = std::make_unique<HistorySearch>(m_store->directory());
    m_model = std::make_unique<HistoryModel>(
        *m_store, *m_preferences, *m_paster, *m_scheduler, desktop.input, m_search.get());
    m_panelWindow = desktop.makePanelWindow(*m_model, *m_store);
    m_panelController = std::make_unique<PanelController>(*m_model, *m_panelWindow,
        desktop.workspace, desktop.keystrokes, desktop.input, *m_scheduler);
    // What the clipboard held at launch is not recorded: the watcher starts from the change
    // count the store's opening started from, or up to which it read the copies made then.
    m_watcher = std::make_unique<ClipboardWatcher>(
        *m_store, *m_preferences, desktop.pasteboard, desktop.workspace);
    if (m_earlyChangeCount)
        m_watcher->setLastChangeCount(*m_earlyChangeCount);
    // Built after the watcher, whose recordings it serves once their owner has gone.
    if (desktop.makeClipboardOwnership) {
        m_ownership = desktop.makeClipboardOwnership();
        m_keeper = std::make_unique<ClipboardKeeper>(*m_watcher, desktop.pasteboard, *m_ownership,
            *m_preferences,
            [paster = m_paster.get()](const ClipItem &item) { return paster->writeItem(item); });
        connect(m_watcher.get(), &ClipboardWatcher::recorded, m_keeper.get(),
            &ClipboardKeeper::noteRecorded);
    }
    m_linkEnricher = std::make_unique<LinkEnricher>(*m_store, linkTitleTimeout);
    m_expander = std::make_unique<TextExpander>(
        desktop.makeKeystrokeTap(), desktop.makeKeystrokeSynthesizer(), desktop.activations);
    if (desktop.makeTextRecognizer) {
        m_imageTextReader = std::make_unique<ImageTextReader>(*m_store, desktop.makeTextRecognizer);
    }
    installCallbacks();
}

// Opening a long history that needs an upgrade takes a minute, which the event loop spends
// reading each copy made meanwhile while its owner still serves it; otherwise only the last
// one could be read once the store is open. An opening that ends at once does not run the
// loop.
std::unique_ptr<ClipStore> AppServices::openStore(const QString &directory)
{
    EarlyCopyReader reader(m_desktop.pasteboard, m_desktop.workspace);
    std::future<std::unique_ptr<ClipStore>> opening = std::async(
        std::launch::async, [directory] { return std::make_unique<ClipStore>(directory); });
    if (opening.wait_for(quickOpening) != std::future_status::ready) {
        QEventLoop loop;
        QTimer check;
        connect(&check, &QTimer::timeout, &loop, [&] {
            if (opening.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
                loop.quit();
        });
        check.start(openingCheckInterval);
        // Quitting ends only the main loop, so a termination signal handled here waits for
        // the main loop (the launcher asks again), as it did while the store opened before.
        loop.exec();
    }
    std::unique_ptr<ClipStore> store = opening.get();
    m_earlyCopies = reader.copies();
    m_earlyChangeCount = reader.readUpTo();
    return store;
}

AppServices::~AppServices()
{
    if (m_hotkey)
        m_hotkey->unregister();
}

void AppServices::installCallbacks()
{
    // Every service dies with this object, so the callbacks never outlive what they use.
    m_model->onWillWritePasteboard = [this] {
        m_watcher->setSuppressUntilChangeCount(m_desktop.pasteboard.changeCount() + 1);
    };
    m_watcher->onCapture = [this](const ClipItem &item) {
        if (m_preferences->fetchesLinkPreviews())
            m_linkEnricher->enrich(item);
        if (m_imageTextReader && item.kind == ClipKind::image)
            m_imageTextReader->imagesRecorded();
        reloadVisiblePanel();
    };
    m_expander->triggers = [this] { return expansionTriggers(); };
    m_expander->isFrontmostAppIgnored = [this] {
        const auto application = m_desktop.workspace.frontmostApplication();
        if (!application || !application->bundleIdentifier)
            return false;
        return m_preferences->expansionIgnoredBundleIDs().contains(*application->bundleIdentifier);
    };
    m_linkEnricher->onEnriched = [this](std::int64_t) { reloadVisiblePanel(); };
}

void AppServices::reloadVisiblePanel()
{
    if (m_panelController->isVisible())
        m_model->reload();
}

void AppServices::start()
{
    for (const EarlyCopyReader::Copy &copy : std::exchange(m_earlyCopies, {}))
        m_watcher->recordEarlierCopy(copy.snapshot, copy.frontmost, copy.capturedAt);
    m_watcher->start(watcherInterval);
    if (m_keeper)
        m_keeper->start();
    registerHotkey();
    configureExpansion();
    m_accessibility->onChange = [this](bool) { configureExpansion(); };
    refreshCrashRecovery();
    m_panelController->prewarm();
    if (m_preferences->expandsEmoji())
        EmojiNameTable::shared().warmUp();
    m_maintenance = std::make_unique<StartupMaintenance>(*m_store);
    clearDragFolder();
    configureTextRecognition();
    connect(m_preferences.get(), &Preferences::recognizesTextInImagesChanged, this,
        &AppServices::configureTextRecognition);
}

void AppServices::configureTextRecognition()
{
    const bool wanted = m_preferences->recognizesTextInImages();
    if (m_imageTextReader)
        m_imageTextReader->setRunning(wanted);
    if (wanted)
        return;
    try {
        m_store->clearRecognizedTexts();
    } catch (const std::exception &error) {
        qCWarning(lcRecognition) << "Could not forget the text read in images:" << error.what();
    }
}

void AppServices::registerHotkey()
{
    if (m_hotkey) {
        m_hotkey->unregister();
        m_hotkey.reset();
    }
    const QPointer<AppServices> self(this);
    m_hotkey = Hotkey::create(m_desktop.hotkeys, m_preferences->hotkey(), [self] {
        if (self)
            self->togglePanel();
    });
    if (!m_hotkey)
        qCWarning(lcHotkey, "Could not register the hot key: another application holds it");
    setHotkeyRegistrationFailed(!m_hotkey);
}

void AppServices::configureExpansion()
{
    m_triggerCacheGeneration = -1;
    if (!m_preferences->expandsSnippets() && !m_preferences->expandsEmoji()) {
        m_expander->stop();
        m_expansionFailure.reset();
        return;
    }
    if (m_expander->isRunning()) {
        m_expander->matcher().setPrefix(m_preferences->expansionPrefix());
        m_expander->matcher().clearBuffer();
        return;
    }
    try {
        m_expander->start(m_preferences->expansionPrefix());
        m_expansionFailure.reset();
    } catch (const KeystrokeTap::StartFailure &failure) {
        m_expansionFailure = failure.reason();
    } catch (const std::exception &) {
        m_expansionFailure = KeystrokeTap::StartFailure::Reason::tapRefused;
    }
}

void AppServices::applicationDidBecomeActive()
{
    const bool wanted = m_preferences->expandsSnippets() || m_preferences->expandsEmoji();
    if (wanted && !m_expander->isRunning())
        configureExpansion();
}

void AppServices::refreshCrashRecovery()
{
    try {
        m_preferences->setAgentRegisteredBuild(
            m_desktop.crashRecovery.refresh(m_preferences->agentRegisteredBuild()));
        setCrashRecoveryRefreshFailed(false);
    } catch (const std::exception &error) {
        setCrashRecoveryRefreshFailed(true);
        qCCritical(lcLoginItem, "Could not re-register the crash-recovery agent: %s", error.what());
    }
}

ExpansionMatcher::TriggerTable AppServices::expansionTriggers()
{
    const bool emoji = m_preferences->expandsEmoji();
    const auto aliases = m_preferences->emojiAliases();
    const std::int64_t emojiKey = emoji ? std::int64_t(aliases.size()) + 1 : 0;
    const std::int64_t generation = m_store->generation();
    if (generation == m_triggerCacheGeneration && emojiKey == m_triggerCacheEmoji)
        return m_triggerCache;

    ExpansionMatcher::TriggerTable table;
    if (emoji) {
        table = EmojiNameTable::shared().table();
        for (auto alias = aliases.cbegin(); alias != aliases.cend(); ++alias) {
            const QString name = alias.key().trimmed().toLower();
            if (!name.isEmpty())
                table.insert(name, alias.value());
        }
    }
    try {
        const auto triggers = m_store->triggerTable();
        for (auto trigger = triggers.cbegin(); trigger != triggers.cend(); ++trigger)
            table.insert(trigger.key(), trigger.value());
    } catch (const std::exception &error) {
        qCWarning(lcExpansion, "Could not read the snippet triggers: %s", error.what());
    }
    m_triggerCache = table;
    m_triggerCacheGeneration = generation;
    m_triggerCacheEmoji = emojiKey;
    return m_triggerCache;
}

void AppServices::togglePanel()
{
    m_panelController->togglePanel();
}

void AppServices::setHotkeyRegistrationFailed(bool failed)
{
    if (m_hotkeyRegistrationFailed == failed)
        return;
    m_hotkeyRegistrationFailed = failed;
    Q_EMIT hotkeyRegistrationFailedChanged();
}

void AppServices::setCrashRecoveryRefreshFailed(bool failed)
{
    if (m_crashRecoveryRefreshFailed == failed)
        return;
    m_crashRecoveryRefreshFailed = failed;
    Q_EMIT crashRecoveryRefreshFailedChanged();
}

} // namespace corvane
