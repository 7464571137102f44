#!/usr/bin/env bash
# Builds and runs the test suite. Usage: scripts/test.sh [release|debug|asan|tsan|mingw]
# (mingw: the Windows programs and tests, run under Wine). The tests run as
# many at a time as there are cores, or SP_TEST_JOBS.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
jobs="${SP_TEST_JOBS:-$(nproc)}"
bash scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j"$(nproc)"
if [ "$preset" = mingw ]; then
    # The Windows programs run under Wine, all on one virtual display.
    xvfb-run -a ctest --preset "$preset" -j"$jobs"
else
    ctest --preset "$preset" -j"$jobs"
fi
