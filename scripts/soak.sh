#!/usr/bin/env bash
# The real application left running on a private X server with a window manager: copies from
# real X clients at 20 a second (texts, links, file lists, images of 1 to 5 MB), the panel
# shown by the hot key with a search typed 1,000 times in ten minutes, four tool servers
# saving and searching, the item limit at 500. Then it checks that every copy was recorded
# once (or refused with a logged reason), the limit held, the history passes its integrity
# checks, every named payload file is there and the next start's sweep leaves no orphan, and
# reports how resident memory and open file descriptors grew after the first minute (the
# target is under 5 MB). scripts/soak-driver.py does the driving and the checking.
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

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$scratch/runtime" XDG_CACHE_HOME="$scratch/cache"
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Corvane" && chmod 700 "$XDG_RUNTIME_DIR"
printf '[General]\nitemLimit=500\n' >"$XDG_CONFIG_HOME/Corvane/Corvane.conf"
export QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb
unset DISPLAY
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$fd" display || { echo "Could not start Xvfb"; exit 1; }
export DISPLAY=":$display"
openbox >"$scratch/openbox.log" 2>&1 &
pids+=($!)

"$corvane" 2>"$scratch/corvane.log" &
app=$!
pids+=($app)
for _ in $(seq 300); do
    [[ -S "$XDG_RUNTIME_DIR/com.ferrowen.corvane.instance" ]] && break
    sleep 0.1
done
[[ -S "$XDG_RUNTIME_DIR/com.ferrowen.corvane.instance" ]] || { cat "$scratch/corvane.log"; exit 1; }

status=0
python3 "$root/scripts/soak-driver.py" "$corvane" "$app" "$seconds" "$scratch" || status=$?
if ((status != 0)); then
    echo "--- application log (last lines)"
    tail -n 30 "$scratch/corvane.log"
fi
exit $status
