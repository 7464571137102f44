#!/usr/bin/env bash
# Builds build/mingw/scaleprobe-windows-x64.zip from the Windows build whose
# suite runs under Wine: the three Windows programs (release, stripped), a
# sample INI with every key at its default and a README; then checks that
# every program in the zip imports system DLLs only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$(nproc)" --target scaleprobe scaleprobe-cli WbDebugViewer

build=build/mingw
name=scaleprobe-windows-x64
stage=$build/package/$name
rm -rf "$build/package" "$build/$name.zip"
mkdir -p "$stage"
cp "$build/app/scaleprobe.exe" "$build/app/scaleprobe-cli.exe" \
    "$build/tools/WbDebugViewer/WbDebugViewer.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage"/*.exe
cp packaging/windows/scaleprobe.INI packaging/windows/README.txt "$stage/"
(cd "$build/package" && zip -q -r -X "../$name.zip" "$name")

# What a user unpacks.
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
unzip -q "$build/$name.zip" -d "$check"
count=0
for exe in "$check/$name"/*.exe; do
    bash tests/e2e/wine/check-imports.sh x86_64-w64-mingw32-objdump "$exe" >/dev/null
    count=$((count + 1))
done
[ "$count" -eq 3 ] || { echo "package-windows: $count programs in the zip, not 3" >&2; exit 1; }
echo "$build/$name.zip: $count programs, each importing system DLLs only"
