#pragma once

// The entry point of the desktop library: everything the application needs beyond QtCore
// (Qt Widgets and Quick, X11, the text recogniser) lives in a shared library that the
// `corvane` executable loads only when it runs as the application, so that `corvane --mcp`
// starts without loading any of it.
extern "C" {

// Runs the application with the program's arguments and returns its exit status.
using CorvaneDesktopMain = int (*)(int argc, char **argv);
}

namespace corvane {

// The exported name of the library's CorvaneDesktopMain.
inline constexpr const char desktopMainSymbol[] = "corvane_desktop_main";

} // namespace corvane
