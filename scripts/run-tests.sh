#!/usr/bin/env bash
# Runs the whole test suite of a build folder, on its own private X server when there is
# no display, with the environment every test expects (private XDG folders, software
# rendering, LeakSanitizer suppressions for system libraries).
set -euo pipefail
build_dir=$(realpath "${1:?usage: run-tests.sh BUILD_DIR}")
root=$(cd "$(dirname "$0")/.." && pwd)

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
export QT_QUICK_BACKEND=software
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

if [[ -z "${DISPLAY:-}" ]]; then
    # Pick a free display number; -displayfd lets Xvfb tell us which one it took.
    exec {fd}<> <(:)
    Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
    xvfb_pid=$!
    read -r -t 10 -u "$fd" display || { echo "Could not start Xvfb"; cat "$scratch/xvfb.log"; exit 1; }
    export DISPLAY=":$display"
fi

ctest --test-dir "$build_dir" --output-on-failure --timeout 300 -j2
