#!/usr/bin/env bash
# Builds build/release/package/scaleprobe_VERSION_amd64.deb from the release
# build (made first where it is missing), then checks what a user gets:
# the package is unpacked into a scratch root, its files are listed and
# checked, and the programs run from there: every --help, and a search of the
# simulated indicator, beside the program and, where that folder cannot be
# written, with the log in the user's XDG state folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" \
    --target scaleprobe scaleprobe-cli scaleprobe-sim WbDebugViewer sp_package_files

build=build/release
rm -rf "$build/package"
(cd "$build" && cpack -G DEB)
debs=("$build"/package/scaleprobe_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] ||
    { echo "package-deb: expected one scaleprobe_VERSION_amd64.deb, found: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}

fail() {
    echo "package-deb: $*" >&2
    exit 1
}

echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
echo "== files"
dpkg-deb --contents "$deb"

depends=$(dpkg-deb --field "$deb" Depends)
for dep in libqt6widgets6 fonts-wqy-microhei libc6 libstdc++6; do
    grep -q "\\b$dep\\b" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

root=$(mktemp -d)
cleanup() {
    # The unprivileged run below owns files inside; root removes them all.
    rm -rf "$root"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$root"
chmod 0755 "$root"
for f in usr/bin/scaleprobe usr/bin/scaleprobe-cli usr/bin/scaleprobe-sim usr/bin/WbDebugViewer \
    usr/share/applications/scaleprobe.desktop usr/share/icons/hicolor/48x48/apps/scaleprobe.png \
    usr/share/man/man1/scaleprobe.1.gz usr/share/man/man1/scaleprobe-cli.1.gz \
    usr/share/man/man1/scaleprobe-sim.1.gz usr/share/man/man1/WbDebugViewer.1.gz; do
    [ -e "$root/$f" ] || fail "$f missing from the package"
done
for p in scaleprobe scaleprobe-cli scaleprobe-sim WbDebugViewer; do
    [ -x "$root/usr/bin/$p" ] || fail "/usr/bin/$p is not executable"
    # The window answers --help without a display.
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$p" --help) ||
        fail "$p --help failed"
    grep -q "^usage: $p" <<<"$out" || fail "$p --help printed no usage: $out"
    gzip -dc "$root/usr/share/man/man1/$p.1.gz" | grep -q "^\.TH " || fail "man page of $p is not troff"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/scaleprobe.desktop"
fi

# Searches the simulated indicator with the unpacked programs; the search's
# transcript goes to $1.
search() {
    local transcript=$1
    shift
    "$@" "$root/usr/bin/scaleprobe-cli" --simulate keli:9600 >"$transcript" ||
        fail "the search exited $? (0 is found): $(cat "$transcript")"
    grep -q "找到了" "$transcript" && grep -q "波特率: 9600" "$transcript" ||
        fail "the search did not report the indicator at 9600 baud: $(cat "$transcript")"
}

echo "== search from the unpacked package, beside the program"
search "$root/found.txt"
tail -n 3 "$root/found.txt"
ls "$root"/usr/bin/log/*/*.log >/dev/null || fail "no log beside the program"
rm -rf "$root/usr/bin/log"

echo "== search as a user who cannot write beside the program"
home="$root/home"
mkdir -p "$home"
if [ "$(id -u)" -eq 0 ]; then
    # Root may write anywhere; another user may not write into root's folder.
    chown nobody: "$home"
    as_user=(setpriv --reuid=nobody --regid=nogroup --init-groups --reset-env
        env HOME="$home" XDG_RUNTIME_DIR= SCALEPROBE_PORTS_DIR="$home/ports")
else
    chmod a-w "$root/usr/bin"
    as_user=(env HOME="$home" -u XDG_CONFIG_HOME -u XDG_STATE_HOME)
fi
search "$home/found.txt" "${as_user[@]}"
[ "$(id -u)" -eq 0 ] || chmod u+w "$root/usr/bin"
[ ! -e "$root/usr/bin/log" ] || fail "a log was written beside the program"
logs=("$home"/.local/state/scaleprobe/log/*/*.log)
[ -f "${logs[0]}" ] || fail "no log in ~/.local/state/scaleprobe"
echo "log: ${logs[0]#"$root"/}"

echo "package-deb: $deb checks out"
