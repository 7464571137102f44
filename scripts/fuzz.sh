#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 60), two at
# a time. Each target starts from its committed corpus tests/fuzz/corpus/NAME,
# so a short run starts where the last long one ended; what a run finds is
# merged back into that corpus (commit it), unless --no-save is given (CI).
# Usage: scripts/fuzz.sh [SECONDS] [--no-save]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
save=1
for arg in "$@"; do
    case "$arg" in
        --no-save) save=0 ;;
        *[!0-9]* | "") echo "usage: $0 [SECONDS] [--no-save]" >&2; exit 64 ;;
        *) seconds="$arg" ;;
    esac
done
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target sp_fuzzers
mapfile -t fuzzers < <(find build/fuzz/tests/fuzz -type f -executable -name 'fuzz_*' | sort)
if [ ${#fuzzers[@]} -eq 0 ]; then
    echo "no fuzz targets"
    exit 0
fi

logs=build/fuzz/logs
mkdir -p "$logs"
run_one() {
    local f=$1 name seeds work
    name=$(basename "$f")
    seeds=tests/fuzz/corpus/$name
    work=build/fuzz/corpus/$name
    mkdir -p "$seeds" "$work"
    # New inputs go to the first folder; the committed seeds are only read.
    if ! "$f" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$logs/$name-" \
        "$work" "$seeds" >"$logs/$name.log" 2>&1; then
        return 1
    fi
    if [ "$save" = 1 ]; then
        "$f" -merge=1 "$seeds" "$work" >>"$logs/$name.log" 2>&1
    fi
}

# Two at a time, one a core; each target's outcome is printed when all end.
running=0
failed=0
for f in "${fuzzers[@]}"; do
    run_one "$f" &
    running=$((running + 1))
    if [ "$running" -ge 2 ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done
for f in "${fuzzers[@]}"; do
    name=$(basename "$f")
    echo "-- $name for ${seconds}s ($(find "tests/fuzz/corpus/$name" -type f | wc -l) seeds)"
    grep -E 'stat::number_of_executed_(runs|units)|stat::peak_rss_mb|ERROR|SUMMARY|Test unit written' \
        "$logs/$name.log" || true
done
[ "$failed" = 0 ] || { echo "a fuzz target failed: see $logs" >&2; exit 1; }
