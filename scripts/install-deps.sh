#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need.
# Run as root. Skips the install when everything is there already.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build clang clang-format libclang-rt-14-dev
    googletest libgtest-dev libbenchmark-dev
    qt6-base-dev libgl-dev fonts-wqy-microhei nlohmann-json3-dev
    g++-mingw-w64-x86-64 wine64 python3 xvfb xauth x11-apps zip unzip
    dpkg-dev file desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
