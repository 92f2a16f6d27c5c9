#include "platform/pastekeystrokeposter.h"

#include <QString>

#include <array>

namespace corvane {

namespace {

// Terminal emulators, by desktop entry id and by window class. In a terminal Ctrl+V reaches
// the shell as a literal control character, so they all bind paste to Ctrl+Shift+V.
constexpr std::array terminalIdentifiers = {
    "org.gnome.terminal",
    "gnome-terminal-server",
    "gnome-terminal",
    "org.gnome.console",
    "kgx",
    "org.gnome.ptyxis",
    "ptyxis",
    "org.kde.konsole",
    "konsole",
    "org.kde.yakuake",
    "yakuake",
    "xfce4-terminal",
    "org.xfce.terminal",
    "mate-terminal",
    "lxterminal",
    "qterminal",
    "terminator",
    "tilix",
    "com.gexperts.tilix",
    "guake",
    "tilda",
    "alacritty",
    "org.alacritty",
    "kitty",
    "wezterm",
    "org.wezfurlong.wezterm",
    "foot",
    "xterm",
    "uxterm",
    "urxvt",
    "rxvt",
    "st",
    "st-256color",
    "sakura",
    "terminology",
    "cool-retro-term",
    "com.mitchellh.ghostty",
    "ghostty",
    "io.elementary.terminal",
    "deepin-terminal",
    "x-terminal-emulator",
};

bool isTerminal(const QString &identifier)
{
    for (const char *terminal : terminalIdentifiers) {
        if (identifier.compare(QLatin1String(terminal), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

PasteShortcut pasteShortcutFor(const std::optional<RunningApplication> &application)
{
    if (!application || !application->bundleIdentifier)
        return PasteShortcut::controlV;
    const QString &identifier = *application->bundleIdentifier;
    // "org.gnome.Terminal" and a bare "Terminal" class: try the id, then its last part.
    const QString lastPart = identifier.section(QLatin1Char('.'), -1);
    return isTerminal(identifier) || isTerminal(lastPart) ? PasteShortcut::controlShiftV
                                                          : PasteShortcut::controlV;
}

PasteKeystrokePoster::~PasteKeystrokePoster() = default;

} // namespace corvane
