#include "app/appdelegate.h"
#include "app/desktopentry.h"
#include "app/installedfiles.h"
#include "common/logging.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <type_traits>

#include <X11/Xlib.h>

namespace {

int terminationPipe[2] = { -1, -1 };
// Set once a termination signal reached the event loop: one handled before the main loop
// runs (while the history opens) asked nothing to quit.
bool terminationRequested = false;

void noteTerminationSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const auto written = ::write(terminationPipe[0], &byte, 1);
}

// Ends the event loop on SIGTERM (logging out, systemd) and SIGINT (Ctrl+C), so the
// application quits as it would from its menu instead of being cut off.
void quitOnTerminationSignals(QCoreApplication &application)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminationPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(terminationPipe[1], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(terminationPipe[1], &byte, 1);
        terminationRequested = true;
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = noteTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// Losing the X server (the session ended under it) ends Corvane with status 1. Qt and Xlib
// would each call exit(), which runs destructors under threads still at work; every copy is
// committed to the history as it is recorded, so nothing is lost by leaving at once.
[[noreturn]] void endForLostDisplay()
{
    std::fputs("com.ferrowen.corvane.launch: The X server connection was lost; Corvane ends "
               "(the history holds every copy recorded so far)\n",
        stderr);
    std::fflush(stderr);
    ::_exit(1);
}

QtMessageHandler defaultMessageHandler = nullptr;

void noteLostDisplay(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    defaultMessageHandler(type, context, message);
    // Qt's xcb platform says this, then calls exit(1).
    if (message.startsWith(QLatin1String("The X11 connection broke")))
        endForLostDisplay();
}

int endOnXlibConnectionError(Display *)
{
    endForLostDisplay();
}

void endOnLostDisplay()
{
    defaultMessageHandler = qInstallMessageHandler(noteLostDisplay);
    XSetIOErrorHandler(endOnXlibConnectionError);
}

} // namespace

// Exported unmangled for the launcher's dlsym; the library hides everything else.
extern "C" __attribute__((visibility("default"))) int corvane_desktop_main(int argc, char **argv)
{
    // The windows are X11's, through XWayland in a Wayland session: only X11 lets the panel
    // place itself at the pointer, stay above other windows and hand the focus back to the
    // paste target. The clipboard is watched on Wayland where the compositor allows it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    endOnLostDisplay();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    // Window managers and task bars match the windows to the installed desktop entry and
    // show its icon; the icon is also set directly for those that do not look it up.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.ferrowen.corvane"));
    const QString icon = corvane::installedDataFile(
        QStringLiteral("icons/hicolor/scalable/apps/com.ferrowen.corvane.svg"));
    if (!icon.isEmpty())
        QApplication::setWindowIcon(QIcon(icon));
    // Corvane lives on without windows; closing one never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    // "--settings" (the desktop entry's Settings action) opens the settings window, in the
    // running instance when there is one.
    const QStringList arguments = QApplication::arguments();
    const auto request = arguments.contains(QStringLiteral("--settings"))
        ? corvane::SingleInstance::Request::openSettings
        : corvane::SingleInstance::Request::activate;
    // Before launching, so that a signal arriving while it starts ends it the usual way once
    // its event loop runs.
    quitOnTerminationSignals(application);
    corvane::AppDelegate delegate;
    if (const std::optional<int> status = delegate.launch(request))
        return *status;
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
        [] { qCInfo(lcLaunch, "Corvane is terminating"); });
    if (terminationRequested)
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    return QApplication::exec();
}

static_assert(std::is_same_v<decltype(&corvane_desktop_main), CorvaneDesktopMain>);
