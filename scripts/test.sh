#!/usr/bin/env bash
# Builds and runs the test suite. Usage: scripts/test.sh [release|debug|asan|tsan|mingw]
# (mingw: the Windows programs and tests, run under Wine)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
bash scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j"$(nproc)"
if [ "$preset" = mingw ]; then
    # The Windows programs run under Wine, all on one virtual display.
    xvfb-run -a ctest --preset "$preset" -j"$(nproc)"
else
    ctest --preset "$preset" -j"$(nproc)"
fi
