#!/usr/bin/env bash
# Runs every libFuzzer harness of a fuzz build for a bounded time over its committed seed
# corpus (fuzz/corpus/<name>; new inputs go to a scratch folder, never into the repository).
# Any crash, leak, sanitizer report or failed check fails the run; the input that caused it
# is kept under build/fuzz-artifacts/ and should become a regression test.
#   usage: run-fuzzers.sh BUILD_DIR [SECONDS_PER_HARNESS]   (default 20, or $FUZZ_SECONDS)
set -euo pipefail
build_dir=$(realpath "${1:?usage: run-fuzzers.sh BUILD_DIR [SECONDS]}")
seconds=${2:-${FUZZ_SECONDS:-20}}
root=$(cd "$(dirname "$0")/.." && pwd)
artifacts="$root/build/fuzz-artifacts"
mkdir -p "$artifacts"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The harnesses' stores and the Qt they use want private folders, as the tests do.
export XDG_RUNTIME_DIR="$scratch/runtime" XDG_DATA_HOME="$scratch/data"
export XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
for name in mcp_line store_search capture matcher hotkey; do
    harness="$build_dir/fuzz/fuzz_$name"
    mkdir -p "$scratch/corpus/$name"
    echo "fuzzing $name for ${seconds}s"
    if ! "$harness" "$scratch/corpus/$name" "$root/fuzz/corpus/$name" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$name-" \
        >"$scratch/$name.log" 2>&1; then
        tail -n 60 "$scratch/$name.log"
        echo "fuzzer $name failed; its input is in $artifacts"
        status=1
    else
        grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$scratch/$name.log" \
            | sed "s/^/  $name /"
    fi
done
exit $status
