#!/usr/bin/env bash
# Compiles the portable libraries for Windows with mingw-w64 (posix threads),
# so that no POSIX header leaks into portable code.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw -j"$(nproc)"
