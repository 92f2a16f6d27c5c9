#!/usr/bin/env bash
# Measures the running application on a private X server with a window manager: hot key to
# panel on screen, resident memory, idle processor time (bench/panel_x11_bench.cpp). Builds
# the release preset first. CORVANE_BENCH_PANEL_ITEMS and CORVANE_BENCH_IDLE_SECONDS change
# the history size (100,000) and the idle window (60 s).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release --target corvane_panel_bench

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1920x1080x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$fd" display
export DISPLAY=":$display"
openbox >"$scratch/openbox.log" 2>&1 &
pids+=($!)
sleep 1
build/release/bench/corvane_panel_bench
