#!/usr/bin/env bash
# Builds the release programs and runs a search against the simulated indicator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
if [ -x build/release/app/scaleprobe-cli ]; then
    exec build/release/app/scaleprobe-cli --simulate "${1:-keli:19200}"
fi
echo "built:"; find build/release -maxdepth 3 -type f -executable -not -name '*.so' | sort
