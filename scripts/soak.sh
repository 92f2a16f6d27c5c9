#!/usr/bin/env bash
# The real application left running on a private X server with a window manager: copies from
# real X clients at 20 a second (texts, links, file lists, images of 1 to 5 MB), the panel
# shown by the hot key with a search typed 1,000 times in ten minutes, four tool servers
# saving and searching, the item limit at 500. Then it checks that every copy was recorded
# once (or refused with a logged reason), the limit held, the history passes its integrity
# checks, every named payload file is there and the next start's sweep leaves no orphan, the
# history's write-ahead log kept starting over, and reports how resident memory (the floor
# under the swings of images being read) and open file descriptors grew after the first
# minute (the target is under 5 MB). scripts/soak-driver.py does the driving and checking.
#
#   scripts/soak.sh [BUILD_DIR] [SECONDS]     (defaults: build/release, 600)
#
# CORVANE_SOAK_RSS_GROWTH_MB: the cap on memory growth after the first minute (5 unless set;
# the test suite runs a 45 s version on the sanitizer build with a larger cap).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/release}")
seconds=${2:-600}
corvane="$build/src/corvane"
[[ -x "$corvane" ]] || { echo "no executable at $corvane"; exit 2; }

source "$root/scripts/running-corvane.sh"
printf '[General]\nitemLimit=500\n' >"$XDG_CONFIG_HOME/Corvane/Corvane.conf"
openbox >"$scratch/openbox.log" 2>&1 &
pids+=($!)

start_corvane

status=0
python3 "$root/scripts/soak-driver.py" "$corvane" "$app" "$seconds" "$scratch" || status=$?
if ((status != 0)); then
    echo "--- application log (last lines)"
    tail -n 30 "$scratch/corvane.log"
    if [[ -s "$scratch/xclip.log" ]]; then
        echo "--- xclip's messages (last lines)"
        tail -n 10 "$scratch/xclip.log"
    fi
fi
exit $status
