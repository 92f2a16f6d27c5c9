#!/usr/bin/env bash
# Runs every libFuzzer harness of a fuzz build over its committed seed corpus
# (fuzz/corpus/<name>; new inputs go to a scratch folder, never into the repository).
#
#   run-fuzzers.sh BUILD_DIR            the check `make test` runs: a fixed seed and a fixed
#                                       number of inputs per harness, so that two runs of the
#                                       same commit try the same inputs and a failure in CI
#                                       reproduces here
#   run-fuzzers.sh BUILD_DIR SECONDS    exploration: a random seed for SECONDS per harness
#
# Any crash, leak, sanitizer report or failed check fails the run; the input that caused it
# is kept under build/fuzz-artifacts/ and should become a regression test.
set -euo pipefail
build_dir=$(realpath "${1:?usage: run-fuzzers.sh BUILD_DIR [SECONDS]}")
seconds=${2:-}
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

# Inputs per harness for the fixed check: about fifteen seconds each on a 2-CPU machine.
declare -A runs=([mcp_line]=400000 [store_search]=50000 [capture]=900000 [matcher]=160000
    [hotkey]=5000000)

status=0
for name in mcp_line store_search capture matcher hotkey; do
    harness="$build_dir/fuzz/fuzz_$name"
    mkdir -p "$scratch/corpus/$name"
    if [[ -n "$seconds" ]]; then
        echo "fuzzing $name for ${seconds}s"
        budget=(-max_total_time="$seconds")
    else
        echo "fuzzing $name: ${runs[$name]} inputs from seed 1"
        # The time cap only guards against a machine far slower than expected.
        budget=(-seed=1 -runs="${runs[$name]}" -max_total_time=300)
    fi
    if ! "$harness" "$scratch/corpus/$name" "$root/fuzz/corpus/$name" \
        "${budget[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
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
