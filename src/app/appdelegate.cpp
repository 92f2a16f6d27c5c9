#include "appdelegate.h"

#include "app/appservices.h"
#include "app/installedfiles.h"
#include "app/loginitem.h"
#include "common/homefolder.h"
#include "common/logging.h"
#include "panel/panelcontroller.h"
#include "platform/unavailablehotkeyregistrar.h"
#include "platform/wayland/portalhotkeyregistrar.h"
#include "platform/wayland/waylandkeystroketap.h"
#include "platform/wayland/waylandpasteboard.h"
#include "platform/wayland/waylandpastekeystrokeposter.h"
#include "platform/wayland/waylandworkspace.h"
#include "platform/x11/clipboardxlib.h"
#include "platform/x11/desktopentries.h"
#include "platform/x11/synthetickeyledger.h"
#include "platform/x11/x11activationnotifier.h"
#include "platform/x11/x11clipboardownership.h"
#include "platform/x11/x11hotkeyregistrar.h"
#include "platform/x11/x11inputdevicestate.h"
#include "platform/x11/x11keystrokesynthesizer.h"
#include "platform/x11/x11keystroketap.h"
#include "platform/x11/x11pasteboard.h"
#include "platform/x11/x11pastekeystrokeposter.h"
#include "platform/x11/x11windowmanager.h"
#include "platform/x11/x11workspace.h"
#include "recognition/tesseracttextrecognizer.h"
#include "store/clipstore.h"
#include "store/errordescription.h"
#include "ui/feedbackwindow.h"
#include "ui/historypanel.h"
#include "ui/settingswindow.h"
#include "ui/taskbarentry.h"
#include "ui/traymenu.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>

namespace corvane {

namespace {

// In a Wayland session whose compositor offers data-control, the clipboard is watched there:
// every client's copies, whichever window has the focus. Elsewhere (GNOME's compositor, a
// bare X11 session) through X11, where a Wayland session's XWayland shows only the copies of
// X11 applications.
std::unique_ptr<Pasteboard> createPasteboard()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::make_unique<X11Pasteboard>();
    QString reason;
    if (auto wayland = WaylandPasteboard::create({}, &reason)) {
        qCInfo(lcWatcher, "Watching the Wayland clipboard through %s",
            qUtf8Printable(wayland->protocolName()));
        return wayland;
    }
    qCWarning(lcWatcher,
        "The Wayland clipboard cannot be watched here: %s. Only copies made in X11 "
        "applications (through XWayland) are recorded.",
        qUtf8Printable(reason));
    return std::make_unique<X11Pasteboard>();
}

} // namespace

AppDelegate::AppDelegate()
    : m_pasteboard(createPasteboard())
    , m_workspace(std::make_unique<X11Workspace>(xlib::applicationDisplayName()))
    , m_keystrokes(std::make_unique<X11PasteKeystrokePoster>(xlib::applicationDisplayName()))
    , m_input(std::make_unique<X11InputDeviceState>(xlib::applicationDisplayName()))
    , m_hotkeys(createX11HotkeyRegistrar())
    , m_activations(createX11ActivationNotifier())
    , m_windowManager(std::make_unique<X11WindowManager>(xlib::applicationDisplayName()))
    , m_crashRecovery(std::make_unique<LoginItem>())
    , m_keyLedger(std::make_shared<SyntheticKeyLedger>())
{
    // Without an X display (a Wayland session without XWayland, a headless start) the
    // history still records what it can; the hot key is then simply not registered.
    if (!m_hotkeys)
        m_hotkeys = std::make_unique<UnavailableHotkeyRegistrar>();
    // In a Wayland session an X11 grab fires only while an X11 window has the focus; the
    // desktop portal's shortcuts work everywhere, where the desktop offers them.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        const HotkeyRegistrar *names = m_hotkeys.get();
        if (auto portal = PortalHotkeyRegistrar::create(QDBusConnection::sessionBus(),
                [names](std::uint32_t keyCode) { return names->keyText(keyCode); })) {
            qCInfo(lcHotkey, "The hot key goes through the desktop portal's global shortcuts");
            m_keyNames = std::move(m_hotkeys);
            m_hotkeys = std::move(portal);
        }
    }
    std::function<bool()> hasKeyboardAccess = &isX11KeyboardAccessAvailable;
    std::function<std::unique_ptr<KeystrokeTap>()> makeKeystrokeTap
        = [this] { return createX11KeystrokeTap(m_keyLedger); };
    // With the clipboard on Wayland, keystrokes typed into X11 would reach X11 windows only:
    // the paste goes through a virtual keyboard where the compositor offers one (else the
    // item is only copied), and expansion stays off.
    if (auto *wayland = dynamic_cast<WaylandPasteboard *>(m_pasteboard.get())) {
        QString reason;
        auto virtualKeyboard = WaylandPasteKeystrokePoster::create({}, &reason);
        const bool pastes = virtualKeyboard != nullptr;
        if (virtualKeyboard)
            m_keystrokes = std::move(virtualKeyboard);
        else
            qCInfo(lcPaste, "Items are copied, not pasted, here: %s", qUtf8Printable(reason));
        hasKeyboardAccess = [pastes] { return pastes; };
        makeKeystrokeTap = &createWaylandKeystrokeTap;
        // The active window as the compositor tells it; without that, only X11 windows are
        // known.
        auto waylandWorkspace = WaylandWorkspace::create({}, &reason);
        const bool knowsFrontmost = waylandWorkspace != nullptr;
        if (waylandWorkspace)
            m_workspace = std::move(waylandWorkspace);
        m_sessionNote = QStringLiteral("Wayland session: every application's copies are recorded "
                                       "(through %1). ")
                            .arg(wayland->protocolName())
            + (pastes ? QStringLiteral("Pasting goes through the compositor's virtual keyboard. ")
                      : QStringLiteral("This compositor offers no virtual keyboard, so items are "
                                       "copied and you press Ctrl+V. "))
            + QStringLiteral("Expansion is off: Wayland lets no application read the keys typed "
                             "in other windows.")
            + (knowsFrontmost ? QString()
                              : QStringLiteral(" The application in front is not known, so "
                                               "ignore lists apply to X11 applications only."));
    } else if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        m_sessionNote = QStringLiteral(
            "Wayland session: this compositor lets no application watch the clipboard, so only "
            "copies made in X11 applications are recorded, and pasting and expansion reach X11 "
            "windows only.");
    }
    const AppServices::Desktop desktop {
        .pasteboard = *m_pasteboard,
        .workspace = *m_workspace,
        .keystrokes = *m_keystrokes,
        .input = *m_input,
        .hotkeys = *m_hotkeys,
        .activations = *m_activations,
        .crashRecovery = *m_crashRecovery,
        .hasKeyboardAccess = hasKeyboardAccess,
        .makeKeystrokeTap = makeKeystrokeTap,
        .makeKeystrokeSynthesizer = [this] { return createX11KeystrokeSynthesizer(m_keyLedger); },
        .makePanelWindow
        = [this](HistoryModel &model, const ClipStore &store) -> std::unique_ptr<PanelWindow> {
            return std::make_unique<HistoryPanel>(model, store.blobDirectory(), *m_windowManager);
        },
        .makeClipboardOwnership = &createX11ClipboardOwnership,
        .makeTextRecognizer = []() -> std::unique_ptr<TextRecognizer> {
            return std::make_unique<TesseractTextRecognizer>(QLocale::system());
        },
    };
    try {
        m_services = std::make_unique<AppServices>(desktop);
    } catch (const std::exception &error) {
        m_failure = errorDescription(error);
    }
}

AppDelegate::~AppDelegate()
{
    // The windows and the tray go before the services they show.
    m_feedbackWindow.reset();
    m_settingsWindow.reset();
    m_taskbarEntry.reset();
    m_trayMenu.reset();
}

std::optional<int> AppDelegate::launch(SingleInstance::Request request)
{
    if (const auto other = m_instance.claim(request)) {
        qCInfo(lcLaunch,
            "Another Corvane (pid %lld, %s) is already running — activating it and standing "
            "down.",
            static_cast<long long>(other->processID),
            qUtf8Printable(other->executablePath.value_or(QStringLiteral("unknown"))));
        return 0;
    }
    if (m_services) {
        connect(&m_instance, &SingleInstance::activationRequested, this,
            [this] { m_services->panelController().toggle(); });
        connect(&m_instance, &SingleInstance::settingsRequested, this, &AppDelegate::openSettings);
        // On X11 the application becomes active when one of its windows takes the focus.
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive)
                    m_services->applicationDidBecomeActive();
            });
        m_services->start();
        showDesktopParts();
        if (request == SingleInstance::Request::openSettings)
            openSettings();
        return std::nullopt;
    }
    reportFailure();
    return 1;
}

void AppDelegate::showDesktopParts()
{
    m_trayMenu = std::make_unique<TrayMenu>(*m_services, *m_workspace);
    m_trayMenu->onOpenSettings = [this] { openSettings(); };
    m_trayMenu->onSendFeedback = [this] { openFeedback(); };
    m_trayMenu->onQuit = [] { QApplication::quit(); };
    m_taskbarEntry = std::make_unique<TaskbarEntry>(m_services->preferences());
    m_taskbarEntry->onActivate = [this] { m_services->panelController().show(); };
}

void AppDelegate::openSettings()
{
    if (!m_services)
        return;
    if (!m_settingsWindow) {
        m_desktopEntries
            = std::make_unique<DesktopEntries>(DesktopEntries::standardApplicationFolders());
        const SettingsActions::Context context {
            .services = *m_services,
            .pasteboard = *m_pasteboard,
            .hotkeys = *m_hotkeys,
            .loginItem = dynamic_cast<LoginItem *>(m_crashRecovery.get()),
            .applications =
                [this] {
                    QList<InstalledApplication> applications;
                    for (const DesktopEntry &entry : m_desktopEntries->entries())
                        applications << InstalledApplication { entry.id, entry.name };
                    return applications;
                },
            .executablePath = QCoreApplication::applicationFilePath(),
            .homeFolder = QDir::homePath(),
            .iconPath = installedDataFile(
                QStringLiteral("icons/hicolor/scalable/apps/com.ferrowen.corvane.svg")),
            .isWaylandSession
            = qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"),
            .sessionNote = m_sessionNote,
        };
        m_settingsWindow = std::make_unique<SettingsWindow>(context);
        m_settingsWindow->actions().onSendFeedback = [this] { openFeedback(); };
    }
    m_settingsWindow->open();
}

void AppDelegate::openFeedback()
{
    if (!m_services)
        return;
    if (!m_feedbackWindow)
        m_feedbackWindow = std::make_unique<FeedbackWindow>(m_services->feedback());
    m_feedbackWindow->open();
}

void AppDelegate::reportFailure()
{
    const QString description = m_failure.value_or(QStringLiteral("Unknown error"));
    qCCritical(lcLaunch, "Could not open the history: %s", qUtf8Printable(description));
    QMessageBox alert(QMessageBox::Critical, QStringLiteral("Corvane"),
        QStringLiteral("Corvane could not open its history"), QMessageBox::Ok);
    alert.setInformativeText(description + QStringLiteral("\n\nThe history lives in ")
        + withHomeAsTilde(ClipStore::defaultDirectory()) + QStringLiteral("."));
    alert.exec();
}

} // namespace corvane
