#include "appdelegate.h"

#include "app/appservices.h"
#include "app/loginitem.h"
#include "common/homefolder.h"
#include "common/logging.h"
#include "panel/panelcontroller.h"
#include "platform/unavailablehotkeyregistrar.h"
#include "platform/x11/clipboardxlib.h"
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
#include "store/clipstore.h"
#include "store/errordescription.h"
#include "ui/historypanel.h"

#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>

namespace corvane {

AppDelegate::AppDelegate()
    : m_pasteboard(std::make_unique<X11Pasteboard>())
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
    const AppServices::Desktop desktop {
        .pasteboard = *m_pasteboard,
        .workspace = *m_workspace,
        .keystrokes = *m_keystrokes,
        .input = *m_input,
        .hotkeys = *m_hotkeys,
        .activations = *m_activations,
        .crashRecovery = *m_crashRecovery,
        .hasKeyboardAccess = &isX11KeyboardAccessAvailable,
        .makeKeystrokeTap = [this] { return createX11KeystrokeTap(m_keyLedger); },
        .makeKeystrokeSynthesizer = [this] { return createX11KeystrokeSynthesizer(m_keyLedger); },
        .makePanelWindow
        = [this](HistoryModel &model, const ClipStore &store) -> std::unique_ptr<PanelWindow> {
            return std::make_unique<HistoryPanel>(model, store.blobDirectory(), *m_windowManager);
        },
        .makeClipboardOwnership = &createX11ClipboardOwnership,
    };
    try {
        m_services = std::make_unique<AppServices>(desktop);
    } catch (const std::exception &error) {
        m_failure = errorDescription(error);
    }
}

AppDelegate::~AppDelegate() = default;

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
        if (request == SingleInstance::Request::openSettings)
            openSettings();
        return std::nullopt;
    }
    reportFailure();
    return 1;
}

void AppDelegate::openSettings()
{
    // The settings window is not part of this build yet; the request is acknowledged so a
    // launcher's "Settings" action is seen to arrive.
    qCInfo(lcLaunch, "Asked to open the settings, which this build does not have yet");
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
