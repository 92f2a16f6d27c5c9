#pragma once

#include "capture/earlycopyreader.h"
#include "expansion/expansionmatcher.h"
#include "platform/keystroketap.h"
#include "recognition/imagetextreader.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace corvane {

class AccessibilityMonitor;
class ActivationNotifier;
class ClipStore;
class ClipboardKeeper;
class ClipboardOwnership;
class ClipboardWatcher;
class CrashRecoveryAgent;
class DelayScheduler;
class FeedbackService;
class HistoryModel;
class HistorySearch;
class Hotkey;
class HotkeyRegistrar;
class InputDeviceState;
class KeystrokeSynthesizer;
class LinkEnricher;
class PanelController;
class PanelWindow;
class PasteKeystrokePoster;
class Pasteboard;
class Paster;
class Preferences;
class StartupMaintenance;
class TextExpander;
class Updater;
class Workspace;

// The application's service graph: every long-lived service, built once in dependency order,
// tied together here and kept for the life of the process. What the desktop provides is
// held by reference; the owner keeps it alive longer than this object. Main thread only.
class AppServices : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool hotkeyRegistrationFailed READ hotkeyRegistrationFailed NOTIFY
            hotkeyRegistrationFailedChanged)
    Q_PROPERTY(bool crashRecoveryRefreshFailed READ crashRecoveryRefreshFailed NOTIFY
            crashRecoveryRefreshFailedChanged)

public:
    // How often the watcher looks at the clipboard besides the change signals.
    static constexpr std::chrono::milliseconds watcherInterval { 400 };
    // How long opening the store may take before the clipboard is read while it goes on, and
    // how often it is looked at then.
    static constexpr std::chrono::milliseconds quickOpening { 50 };
    static constexpr std::chrono::milliseconds openingCheckInterval { 20 };
    // How long a link title fetch may take.
    static constexpr std::chrono::milliseconds linkTitleTimeout { 8000 };

    using PanelWindowFactory
        = std::function<std::unique_ptr<PanelWindow>(HistoryModel &, const ClipStore &)>;

    // The desktop's side of every service.
    struct Desktop
    {
        Pasteboard &pasteboard;
        Workspace &workspace;
        PasteKeystrokePoster &keystrokes;
        InputDeviceState &input;
        HotkeyRegistrar &hotkeys;
        ActivationNotifier &activations;
        CrashRecoveryAgent &crashRecovery;
        // Whether keyboard events may be observed and synthesised.
        std::function<bool()> hasKeyboardAccess;
        std::function<std::unique_ptr<KeystrokeTap>()> makeKeystrokeTap;
        std::function<std::unique_ptr<KeystrokeSynthesizer>()> makeKeystrokeSynthesizer;
        // The history panel's window over the model (it is built later, by prewarm).
        PanelWindowFactory makePanelWindow;
        // Who holds the clipboard; without it, no copy outlives the application that copied.
        std::function<std::unique_ptr<ClipboardOwnership>()> makeClipboardOwnership;
        // The engine that reads words in images (made on the reading thread when first
        // needed); without it, images are found by their titles only.
        ImageTextReader::RecognizerFactory makeTextRecognizer;
    };

    // Opens the store (throwing its error when it cannot be opened), loads the preferences,
    // then builds the update check, the feedback sender, the paster, the history model, the panel
    // controller, the clipboard watcher, the clipboard keeper (when the desktop tells the
    // clipboard's owners), the link enricher and the text expander and ties them together. The
    // folders default to the user's.
    AppServices(const Desktop &desktop, const QString &storeDirectory, const QString &settingsPath);
    explicit AppServices(const Desktop &desktop);
    ~AppServices() override;

    // Starts the services once, after the application has launched: clipboard polling, the
    // hot key, expansion, the keyboard-access observation, the crash-recovery agent, the
    // panel built ahead of use, the emoji names, then the store's maintenance and the removal
    // of left-over drag files (whose failures are ignored).
    void start();
    // (Re-)registers the hot key of the preferences; hotkeyRegistrationFailed tells how it
    // went.
    void registerHotkey();
    // Starts, stops or re-prefixes expansion after the preferences or keyboard access
    // changed; a tap that cannot start is remembered in expansionFailure.
    void configureExpansion();
    // The application became active (a window of ours took the focus): expansion that is
    // wanted but not running is tried again.
    void applicationDidBecomeActive();
    // Keeps the crash-recovery agent registered for this build.
    void refreshCrashRecovery();
    // Snippet triggers over emoji names and aliases, rebuilt only when the store or the
    // emoji settings changed.
    ExpansionMatcher::TriggerTable expansionTriggers();
    // The hot key's action: hides a visible panel, shows it otherwise.
    void togglePanel();

    ClipStore &store() const { return *m_store; }
    Preferences &preferences() const { return *m_preferences; }
    AccessibilityMonitor &accessibilityMonitor() const { return *m_accessibility; }
    Updater &updater() const { return *m_updater; }
    FeedbackService &feedback() const { return *m_feedback; }
    Paster &paster() const { return *m_paster; }
    HistoryModel &model() const { return *m_model; }
    PanelController &panelController() const { return *m_panelController; }
    ClipboardWatcher &watcher() const { return *m_watcher; }
    // Nothing when the desktop offers no view of the clipboard's owners.
    ClipboardKeeper *keeper() const { return m_keeper.get(); }
    LinkEnricher &linkEnricher() const { return *m_linkEnricher; }
    TextExpander &expander() const { return *m_expander; }
    // Nothing when the desktop reads no words in images.
    ImageTextReader *imageTextReader() const { return m_imageTextReader.get(); }
    const std::shared_ptr<Hotkey> &hotkey() const { return m_hotkey; }
    bool hotkeyRegistrationFailed() const { return m_hotkeyRegistrationFailed; }
    bool crashRecoveryRefreshFailed() const { return m_crashRecoveryRefreshFailed; }
    std::optional<KeystrokeTap::StartFailure::Reason> expansionFailure() const
    {
        return m_expansionFailure;
    }

Q_SIGNALS:
    void hotkeyRegistrationFailedChanged();
    void crashRecoveryRefreshFailedChanged();

private:
    // Opens the store off the main thread while the event loop reads the copies made
    // meanwhile into m_earlyCopies; throws what opening throws.
    std::unique_ptr<ClipStore> openStore(const QString &directory);
    void installCallbacks();
    void reloadVisiblePanel();
    // Starts or stops reading words in images after the preference changed; turning it off
    // forgets the words read.
    void configureTextRecognition();
    void setHotkeyRegistrationFailed(bool failed);
    void setCrashRecoveryRefreshFailed(bool failed);

    Desktop m_desktop;
    // Copies read while the store opened, for the watcher, and the change count it starts at.
    std::vector<EarlyCopyReader::Copy> m_earlyCopies;
    std::optional<std::int64_t> m_earlyChangeCount;
    std::unique_ptr<ClipStore> m_store;
    // Declared after the store, so it stops before the store closes.
    std::unique_ptr<StartupMaintenance> m_maintenance;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<DelayScheduler> m_scheduler;
    std::unique_ptr<AccessibilityMonitor> m_accessibility;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<FeedbackService> m_feedback;
    std::unique_ptr<Paster> m_paster;
    std::unique_ptr<HistorySearch> m_search;
    std::unique_ptr<HistoryModel> m_model;
    std::unique_ptr<PanelWindow> m_panelWindow;
    std::unique_ptr<PanelController> m_panelController;
    std::unique_ptr<ClipboardWatcher> m_watcher;
    std::unique_ptr<ClipboardOwnership> m_ownership;
    std::unique_ptr<ClipboardKeeper> m_keeper;
    std::unique_ptr<LinkEnricher> m_linkEnricher;
    std::unique_ptr<TextExpander> m_expander;
    std::unique_ptr<ImageTextReader> m_imageTextReader;
    std::shared_ptr<Hotkey> m_hotkey;
    bool m_hotkeyRegistrationFailed = false;
    bool m_crashRecoveryRefreshFailed = false;
    ExpansionMatcher::TriggerTable m_triggerCache;
    std::int64_t m_triggerCacheGeneration = -1;
    std::int64_t m_triggerCacheEmoji = -1;
    std::optional<KeystrokeTap::StartFailure::Reason> m_expansionFailure;
};

} // namespace corvane
