#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given seconds (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
mapfile -t fuzzers < <(find build/fuzz/tests/fuzz -type f -executable -name 'fuzz_*' | sort)
if [ ${#fuzzers[@]} -eq 0 ]; then
    echo "no fuzz targets"
    exit 0
fi
for f in "${fuzzers[@]}"; do
    corpus="build/fuzz/corpus/$(basename "$f")"
    mkdir -p "$corpus"
    echo "-- $(basename "$f") for ${seconds}s"
    "$f" -max_total_time="$seconds" -print_final_stats=1 "$corpus" 2>&1 | tail -n 4
done
