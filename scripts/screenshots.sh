#!/usr/bin/env bash
# Renders the history panel's, the settings window's and the tray menu's screenshots into docs/
# on a private X server with the software scene graph: scripts/screenshots.sh [BUILD_DIR]
# (default build/dev; the targets panel_screenshots and settings_screenshots are built first).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath "${1:-$root/build/dev}")
cmake --build "$build_dir" --target panel_screenshots settings_screenshots

scratch=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$scratch/runtime" XDG_CACHE_HOME="$scratch/cache"
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 10 -u "$fd" display || { echo "Could not start Xvfb"; cat "$scratch/xvfb.log"; exit 1; }
export DISPLAY=":$display"

"$build_dir/tests/ui/panel_screenshots" "${SCREENSHOTS_DIR:-$root/docs}"
CORVANE_SOURCE_DIR="$root" "$build_dir/tests/ui/settings_screenshots" "${SCREENSHOTS_DIR:-$root/docs}"
