#!/usr/bin/env bash
# Resident memory of the running application while searches are typed into its panel, and
# after the panel has been hidden long enough for the search cache to shrink again. Runs the
# release build on a private Xvfb with openbox, on a copy of a generated history (made by
# `make bench`; CORVANE_BENCH_SIZES=1000000 for the million-item one).
#
#   scripts/search-memory.sh [HISTORY_FOLDER]   (default: the million-item generated history)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
history=${1:-${TMPDIR:-/tmp}/corvane-bench/history-1000000-g2-s6}
corvane="$root/build/release/src/corvane"
[[ -f "$history/history.sqlite" ]] || { echo "no generated history in $history"; exit 2; }
[[ -x "$corvane" ]] || { echo "no release build at $corvane"; exit 2; }

source "$root/scripts/running-corvane.sh"
mkdir -p "$XDG_DATA_HOME/Corvane"
cp "$history"/history.sqlite* "$XDG_DATA_HOME/Corvane/"
openbox >"$scratch/openbox.log" 2>&1 &
pids+=($!)
sleep 1
start_corvane
sleep 3

memory() { grep -E "VmRSS|RssAnon|RssFile" "/proc/$app/status" | tr -s ' \t' ' ' | tr '\n' ' '; echo; }
echo "after start:           $(memory)"
xdotool key super+shift+v
sleep 1
for search in "meeting tom" zelquo con xampl s qz the report "invoice 2" hello; do
    xdotool key ctrl+a BackSpace
    xdotool type --delay 30 "$search"
    sleep 0.7
done
echo "after 10 searches:     $(memory)"
xdotool key Escape
sleep 12
echo "12 s after hiding it:  $(memory)"
