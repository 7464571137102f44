#!/usr/bin/env bash
# Builds the release programs and runs a search against the simulated indicator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
# Exit status is the search's: 0 only when the simulated indicator was found.
exec build/release/app/scaleprobe-cli --simulate "${1:-keli:19200}"
