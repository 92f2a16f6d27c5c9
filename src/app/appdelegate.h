#pragma once

#include "app/singleinstance.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace corvane {

class ActivationNotifier;
class AppServices;
class CrashRecoveryAgent;
class DesktopEntries;
class FeedbackWindow;
class HotkeyRegistrar;
class InputDeviceState;
class Pasteboard;
class PasteKeystrokePoster;
class SettingsWindow;
class SyntheticKeyLedger;
class TaskbarEntry;
class TrayMenu;
class WindowManager;
class Workspace;

// The application's frame on the desktop: builds the X11 backend and the service graph once
// (or keeps the reason the graph could not be built), then at launch applies the
// single-instance rule and either starts the services or reports the history that could not
// be opened. Needs a QApplication on xcb.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    AppDelegate();
    ~AppDelegate() override;

    // The exit status when the process should end now (another instance runs and was given
    // the request, or the history could not be opened and the alert was dismissed); nothing
    // when the application runs.
    std::optional<int> launch(SingleInstance::Request request = SingleInstance::Request::activate);

private:
    void reportFailure();
    void openSettings();
    void showDesktopParts();
    void openFeedback();

    std::unique_ptr<Pasteboard> m_pasteboard;
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<PasteKeystrokePoster> m_keystrokes;
    std::unique_ptr<InputDeviceState> m_input;
    std::unique_ptr<HotkeyRegistrar> m_hotkeys;
    // X11's registrar kept for naming keys when the hot key goes through the desktop portal.
    std::unique_ptr<HotkeyRegistrar> m_keyNames;
    std::unique_ptr<ActivationNotifier> m_activations;
    std::unique_ptr<WindowManager> m_windowManager;
    std::unique_ptr<CrashRecoveryAgent> m_crashRecovery;
    std::shared_ptr<SyntheticKeyLedger> m_keyLedger;
    std::unique_ptr<AppServices> m_services;
    std::unique_ptr<DesktopEntries> m_desktopEntries;
    std::unique_ptr<TrayMenu> m_trayMenu;
    std::unique_ptr<TaskbarEntry> m_taskbarEntry;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    std::unique_ptr<FeedbackWindow> m_feedbackWindow;
    std::optional<QString> m_failure;
    // What the Wayland session allows, for the settings; empty on X11.
    QString m_sessionNote;
    SingleInstance m_instance;
};

} // namespace corvane
