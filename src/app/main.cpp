#include "app/appdelegate.h"
#include "common/logging.h"
#include "mcp/mcpserver.h"

#include <QApplication>

#include <algorithm>
#include <string_view>

int main(int argc, char *argv[])
{
    // Any argument exactly equal to "--mcp", the program path included, selects the tool
    // server; it never creates anything of the user interface, so it needs no display.
    const bool servesTools = std::any_of(argv, argv + argc,
        [](const char *argument) { return std::string_view(argument) == "--mcp"; });
    if (servesTools)
        return corvane::McpServer::run(argc, argv);

    // Clipboard, hot key and key events are X11's here; a Wayland session runs Corvane
    // through XWayland until it has a Wayland backend.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    // Corvane lives on without windows; closing one never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    corvane::AppDelegate delegate;
    if (const std::optional<int> status = delegate.launch())
        return *status;
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
        [] { qCInfo(lcLaunch, "Corvane is terminating"); });
    return QApplication::exec();
}
