#include "mcp/mcpserver.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <string_view>

int main(int argc, char *argv[])
{
    // Any argument exactly equal to "--mcp", the program path included, selects the tool
    // server; it never creates anything of the user interface, so it needs no display.
    const bool servesTools = std::any_of(argv, argv + argc,
        [](const char *argument) { return std::string_view(argument) == "--mcp"; });
    if (servesTools)
        return corvane::McpServer::run(argc, argv);

    QCoreApplication application(argc, argv);
    std::fputs("corvane: the application mode is not available in this build yet.\n", stderr);
    return 0;
}
