#!/usr/bin/env bash
# Installs the Debian 12 packages Corvane needs to build, run and test.
# Quick when everything is present: only missing packages are installed.
set -euo pipefail

packages=(
    # toolchain
    cmake ninja-build g++ pkg-config ccache make
    # libraries
    qt6-base-dev qt6-declarative-dev libsqlite3-dev libicu-dev
    # TIFF clipboard images are converted to PNG through Qt's TIFF image plugin; icons are SVG
    qt6-image-formats-plugins libqt6svg6
    # the icon's bitmap sizes are rendered at build time; the package is made with dpkg tools
    librsvg2-bin dpkg-dev
    # words in copied images are read by Tesseract
    libtesseract-dev tesseract-ocr-eng
    libx11-dev libx11-xcb-dev libxi-dev libxtst-dev libxfixes-dev
    libxkbcommon-dev libxkbcommon-x11-dev
    # the Wayland backend: the client library and wayland-scanner for the protocol files
    libwayland-dev libwayland-bin
    # Qt Quick runtime modules (not pulled in by qt6-declarative-dev)
    qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
    qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtquick-layouts
    qml6-module-qtquick-templates qml6-module-qtquick-controls
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    # fuzzing: clang with its libFuzzer runtime
    clang libclang-rt-14-dev
    xvfb xauth xclip xdotool x11-xkb-utils
    # the clock set back under a running application; the scripts that look into the history
    sqlite3 python3
    faketime
    # the panel's end-to-end tests: a window manager and a Tk window to paste into
    openbox tk x11-utils trayer
    # the Wayland tests: headless compositors with and without data-control, their clipboard
    # tools, and a terminal to paste into
    sway weston wl-clipboard foot
    # the crash-recovery unit is checked with systemd-analyze
    systemd
    # the installed files are checked as the desktop reads them
    desktop-file-utils appstream
    # emoji in the settings window's alias list and picker (and its screenshots)
    fonts-noto-color-emoji
)

# The tool server's interoperability test runs the official MCP SDK under Node.js. A node
# installed some other way (nvm, NodeSource) is used as it is.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=""
if ((EUID != 0)); then
    sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
