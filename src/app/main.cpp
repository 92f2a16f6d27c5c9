#include "app/desktopentry.h"
#include "common/largeblocks.h"
#include "mcp/mcpserver.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <limits.h>
#include <string>
#include <string_view>

namespace {

// The desktop library's path: CORVANE_DESKTOP_LIBRARY is relative to the executable's folder,
// the same in the build tree as in an installation, so a moved installation still finds it.
std::string desktopLibraryPath()
{
    char executable[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", executable, sizeof executable - 1);
    if (length <= 0)
        return {};
    const std::string_view path(executable, std::size_t(length));
    return std::string(path.substr(0, path.rfind('/') + 1)) + CORVANE_DESKTOP_LIBRARY;
}

int runDesktop(int argc, char **argv)
{
    const std::string library = desktopLibraryPath();
    // Never closed: the application's code runs until the process ends.
    void *handle = library.empty() ? nullptr : ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "corvane: could not load the application library %s: %s\n",
            library.c_str(), library.empty() ? "the executable's path is unknown" : ::dlerror());
        return 1;
    }
    const auto desktopMain
        = reinterpret_cast<CorvaneDesktopMain>(::dlsym(handle, corvane::desktopMainSymbol));
    if (!desktopMain) {
        std::fprintf(stderr, "corvane: %s has no %s: %s\n", library.c_str(),
            corvane::desktopMainSymbol, ::dlerror());
        return 1;
    }
    return desktopMain(argc, argv);
}

} // namespace

// A small launcher: the tool server needs QtCore, SQLite and ICU only and is served from
// here; the application is loaded from the desktop library, so that an assistant starting
// `corvane --mcp` for every session never pays for loading the desktop stack.
int main(int argc, char *argv[])
{
    // Both the application and the tool server read texts of up to 32 MB.
    corvane::returnLargeBlocksWhenFreed();
    // Any argument exactly equal to "--mcp", the program path included, selects the tool
    // server; it never creates anything of the user interface, so it needs no display.
    const bool servesTools = std::any_of(argv, argv + argc,
        [](const char *argument) { return std::string_view(argument) == "--mcp"; });
    if (servesTools)
        return corvane::McpServer::run();
    return runDesktop(argc, argv);
}
