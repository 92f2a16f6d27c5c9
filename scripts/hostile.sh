#!/usr/bin/env bash
# Hostile content copied by real X clients (xclip) into the running application on a private
# X server: a 32 MB text, a 20000 x 20000 PNG, a TIFF that unpacks to gigabytes, a PNG with a
# broken checksum, 10,000 file URLs, bidirectional overrides, 10,000 combining marks on one
# letter, control characters in the first line and colours that almost parse. After each
# copy the panel is opened and closed again (by starting the executable a second time, which
# asks the running one to come forward). Fails when the application ends, stops answering,
# loses its history's integrity or goes over the memory cap; prints what became of each copy.
#
#   scripts/hostile.sh [BUILD_DIR]            (default build/release; make bench builds it)
#
# CORVANE_HOSTILE_RSS_MB: the cap on peak resident memory, 150 unless set. A sanitizer build
# carries shadow memory and quarantine on top, so the test suite's entry on the dev build
# passes a higher cap; the 150 MB figure is for a release build.
# CORVANE_HOSTILE_CASES: an extended regular expression; only the cases whose name it
# matches are copied (all unless set), to measure one case alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/release}")
corvane="$build/src/corvane"
cap_mb=${CORVANE_HOSTILE_RSS_MB:-150}
[[ -x "$corvane" ]] || { echo "no executable at $corvane"; exit 2; }

source "$root/scripts/running-corvane.sh"

"$root/scripts/hostile-content.py" "$scratch/content"

start_corvane
database="$XDG_DATA_HOME/Corvane/history.sqlite"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
newest_id() { sqlite3 "$database" "SELECT COALESCE(MAX(id), 0) FROM items" 2>/dev/null || echo 0; }
peak_kb() { awk '/^VmHWM:/ { print $2 }' "/proc/$app/status"; }
resident_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$app/status"; }
# The time a second start takes to have the running instance show or hide the panel, its own
# start included: the running instance's event loop has to be free to answer.
toggle_panel_ms() {
    local start end
    start=$(date +%s%N)
    # What a failed start said goes to the script's own error output. On a sanitizer build
    # the leak checker's own tracer has been seen to crash as such a start ends, aborting a
    # start that had answered; these starts are here for the panel, and the stand-down path
    # is checked for leaks by the end-to-end tests.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        timeout 20 "$corvane" >/dev/null 2>"$scratch/second-start.log" || {
        sed 's/^/second start: /' "$scratch/second-start.log" >&2
        return 1
    }
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

sleep 2
echo "peak resident memory before the first copy: $(($(peak_kb) / 1024)) MB"
# "rec MB" is the peak once the copy was recorded, "peak MB" after the panel was shown and
# hidden again, "now MB" what stayed resident then (what the next case starts from).
printf '%-20s %-14s %-40s %8s %8s %8s %8s\n' case type outcome "open ms" "rec MB" "peak MB" \
    "now MB"
clipboard_owner=""
while IFS='|' read -r name type file; do
    [[ "$name" =~ ${CORVANE_HOSTILE_CASES:-.} ]] || continue
    before=$(newest_id)
    [[ -n "$clipboard_owner" ]] && kill "$clipboard_owner" 2>/dev/null || true
    # -quiet keeps xclip in the foreground, so it is this script's child to end.
    xclip -quiet -selection clipboard -t "$type" -i "$scratch/content/$file" >/dev/null 2>&1 &
    clipboard_owner=$!
    pids+=($clipboard_owner)
    outcome="not recorded"
    for _ in $(seq 80); do
        if [[ $(newest_id) != "$before" ]]; then
            outcome=$(sqlite3 "$database" "SELECT kind || ', title ' || length(title) || ' chars, '
                || CASE WHEN blob_name IS NULL THEN 'no payload' ELSE 'payload kept' END
                FROM items ORDER BY id DESC LIMIT 1")
            break
        fi
        sleep 0.1
    done
    kill -0 "$app" 2>/dev/null || { fail "$name: the application ended"; break; }
    recorded_peak=$(($(peak_kb) / 1024))
    open_ms=$(toggle_panel_ms) || { fail "$name: no answer to a second start"; open_ms=-; }
    sleep 1
    toggle_panel_ms >/dev/null || fail "$name: no answer to a second start"
    peak=$(($(peak_kb) / 1024))
    printf '%-20s %-14s %-40s %8s %8s %8s %8s\n' "$name" "$type" "$outcome" "$open_ms" \
        "$recorded_peak" "$peak" "$(($(resident_kb) / 1024))"
    if [[ "$open_ms" != - && "$open_ms" -gt 5000 ]]; then
        fail "$name: the panel took $open_ms ms to answer"
    fi
done <"$scratch/content/cases"

if kill -0 "$app" 2>/dev/null; then
    peak=$(($(peak_kb) / 1024))
    echo "peak resident memory: $peak MB (cap $cap_mb MB)"
    ((peak <= cap_mb)) || fail "peak resident memory $peak MB over the cap of $cap_mb MB"
    integrity=$(sqlite3 "$database" "PRAGMA integrity_check")
    [[ "$integrity" == ok ]] || fail "integrity_check: $integrity"
    kill "$app"
    wait "$app" || true
else
    fail "the application ended"
fi
grep -E "ERROR: AddressSanitizer|runtime error:" "$scratch/corvane.log" && fail "sanitizer report"
if ((failures > 0)); then
    echo "--- application log"
    tail -n 40 "$scratch/corvane.log"
    exit 1
fi
echo "hostile content: all cases passed"
