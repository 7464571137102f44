"""The Windows window under Wine on the suite's virtual display, against
scaleprobe-sim on Linux through a COM port:

- the window test in process (e2e_window_win32.exe) searches through the
  port and gets the found box;
- scaleprobe.exe itself, driven from outside by WindowDriver.exe, finds the
  indicator; a screenshot of the screen (xwd) shows the LED area exactly as
  the display's bitmap paints the last weight, and is kept as a PNG;
- the debug viewer that scaleprobe.exe starts through the registry value
  shows the start banner first;
- closing the window ends the program with exit 0, in both runs.

Skipped (exit 77) without the Linux simulator or a display."""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

from winetest import SKIP, Checks, Prefix, Simulator

PORT = "COM5"
FOUND = "找到仪表"
START_BANNER = "-------------------------- 启动软件 --------------------------------------------"
VIEWER_KEY = r"HKCU\Software\WbTools\WbDebug"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_xwd(path):
    """(width, height, rows of (r, g, b)) of a true-colour xwd dump."""
    with open(path, "rb") as f:
        data = f.read()
    h = struct.unpack(">25I", data[:100])
    header_size, fmt, depth, width, height = h[0], h[2], h[3], h[4], h[5]
    byte_order, bpp, stride, masks, ncolors = h[7], h[11], h[12], h[14:17], h[19]
    if fmt != 2 or bpp not in (24, 32) or depth < 24:
        raise AssertionError("xwd dump is not true colour: format %d, %d bpp, depth %d"
                             % (fmt, bpp, depth))
    start = header_size + 12 * ncolors
    size = bpp // 8
    order = "little" if byte_order == 0 else "big"
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    rows = []
    for y in range(height):
        line = data[start + y * stride:start + y * stride + size * width]
        pixels = (int.from_bytes(line[i:i + size], order) for i in range(0, len(line), size))
        rows.append([tuple((p & m) >> s for m, s in zip(masks, shifts)) for p in pixels])
    return width, height, rows


def write_png(path, rows):
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n"
                + chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    magic, width, height, _maxval, rest = data.split(maxsplit=4)
    assert magic == b"P6"
    width, height = int(width), int(height)
    return [[tuple(rest[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
            for y in range(height)]


def driver_fields(out):
    """The driver's "key: value" lines; the transcript's own lines follow
    its key."""
    fields, key = {}, None
    for line in out.decode("utf-8", "replace").replace("\r\n", "\n").split("\n"):
        head, sep, value = line.partition(": ")
        if sep and head in ("box", "transcript", "button", "display", "error"):
            key = head
            fields[key] = value
        elif key == "transcript":
            fields[key] += "\n" + line
    return fields


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--wineserver", required=True)
    ap.add_argument("--window", required=True, help="scaleprobe.exe")
    ap.add_argument("--viewer", required=True, help="WbDebugViewer.exe")
    ap.add_argument("--driver", required=True, help="WindowDriver.exe")
    ap.add_argument("--window-test", required=True, help="e2e_window_win32.exe")
    ap.add_argument("--sim", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--out-dir", required=True, help="where the screenshot is kept")
    a = ap.parse_args()
    if not os.access(a.sim, os.X_OK):
        print("SKIP: the Linux simulator %s is not built" % a.sim, flush=True)
        return SKIP
    if not os.environ.get("DISPLAY") or not shutil.which("xwd"):
        print("SKIP: needs a display and xwd (run under xvfb-run)", flush=True)
        return SKIP
    t = Checks()
    prefix = Prefix(a.wine, a.wineserver, a.prefix)
    prefix.create()
    ports_dir = tempfile.mkdtemp(prefix="scaleprobe-wine-ports-")
    sim = Simulator(a.sim, ["--protocol", "keli", "--baud", "9600", "--weights", "const:1000"],
                    ports_dir)
    try:
        # The port exists in the list from the next start of the prefix.
        prefix.run(["reg", "add", r"HKLM\Software\Wine\Ports", "/v", PORT, "/d", sim.path, "/f"])
        # No window manager runs: Wine draws the frames and captions itself.
        prefix.run(["reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated",
                    "/d", "N", "/f"])
        prefix.restart()
        in_process(t, a, prefix)
        program(t, a, prefix)
    finally:
        sim.stop()
        prefix.stop()
        os.rmdir(ports_dir)
    t.finish()


def in_process(t, a, prefix):
    prefix.env["SP_SIM_PORT"] = PORT
    try:
        code, out, err = prefix.run(
            [a.window_test, "--gtest_filter=*SearchOnASimulatedIndicator*"], timeout=300)
    finally:
        del prefix.env["SP_SIM_PORT"]
    text = out.decode("utf-8", "replace")
    t.check(code == 0 and "[  PASSED  ] 1 test" in text and "SKIPPED" not in text,
            "the in-process window search passes: exit %d\n%s" % (code, text[-3000:]))


def program(t, a, prefix):
    # Each run from a folder of its own, where its log goes. The first is
    # alone on the screen for its screenshot: no viewer beside it.
    window = copy_into(os.path.join(a.prefix, "run-window"), a.window)
    run_window(t, a, prefix, window, lambda: search(t, a, prefix, window))

    # The second with the viewer that the registry value names; the
    # program appends its process id to the command.
    run_dir = os.path.join(a.prefix, "run-viewer")
    window = copy_into(run_dir, a.window)
    viewer_out = os.path.join(run_dir, "viewer.txt")
    command = '"%s" --seconds 120 --output "%s" -a ' % (
        windows_path(copy_into(run_dir, a.viewer)), windows_path(viewer_out))
    prefix.run(["reg", "add", VIEWER_KEY, "/v", "WbDebugViewer", "/d", command, "/f"])
    texts = []

    def viewer_texts():
        deadline = time.monotonic() + 60
        while not texts and time.monotonic() < deadline:
            if os.path.exists(viewer_out):
                with open(viewer_out, "rb") as f:
                    lines = f.read().decode("gbk", "replace").splitlines()
                texts.extend(fields[5] for fields in (line.split("\t") for line in lines)
                             if len(fields) == 6 and fields[3] != "Object")
            time.sleep(0.2)

    run_window(t, a, prefix, window, viewer_texts)
    t.check(texts[:1] == [START_BANNER], "the viewer shows the start banner first: %r" % texts[:3])


def copy_into(folder, program):
    os.makedirs(folder, exist_ok=True)
    return shutil.copy(program, folder)


def run_window(t, a, prefix, window, body):
    """Starts scaleprobe.exe, runs body, then closes the window as its close
    box does: the program must end with exit 0."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen([prefix.wine, window], env=prefix.env, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=err)
        try:
            body()
            code, _, err = prefix.run([a.driver, "close"])
            t.check(code == 0, "the driver closes the window: %r" % err[-300:])
            try:
                t.check(proc.wait(timeout=60) == 0, "closing the window ends the program with "
                        "exit 0, not %r" % proc.returncode)
            except subprocess.TimeoutExpired:
                t.check(False, "the program is still running 60 s after its window closed")
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


def search(t, a, prefix, window):
    expected_ppm = os.path.join(a.prefix, "display.ppm")
    code, out, err = prefix.run([a.driver, "search", PORT, "1000", windows_path(expected_ppm)],
                                timeout=300)
    f = driver_fields(out)
    if not t.check(code == 0, "the driver's search: exit %d, %r %r" % (code, f, err[-500:])):
        return
    t.check(f.get("box") == FOUND, "the box says %r" % f.get("box"))
    t.check(PORT + " - 波特率: 9600" in f.get("transcript", ""),
            "the transcript names the port and rate: %r" % f.get("transcript"))
    t.check(f.get("button") == "enabled", "the button is enabled again")
    with open(window, "rb") as exe:
        t.check(b"Microsoft.Windows.Common-Controls" in exe.read(),
                "scaleprobe.exe carries the common-controls manifest")

    os.makedirs(a.out_dir, exist_ok=True)
    dump = os.path.join(a.prefix, "screen.xwd")
    subprocess.run(["xwd", "-root", "-silent", "-out", dump], check=True, timeout=60)
    width, height, screen = read_xwd(dump)
    png = os.path.join(a.out_dir, "scaleprobe-win32-found.png")
    write_png(png, screen)
    print("screenshot: " + png, flush=True)
    x, y, w, h = (int(v) for v in f["display"].split())
    expected = read_ppm(expected_ppm)
    t.check((w, h) == (len(expected[0]), len(expected)),
            "the display's area %dx%d is its bitmap's %dx%d"
            % (w, h, len(expected[0]), len(expected)))
    wrong = [(cx, cy) for cy in range(min(h, len(expected)))
             for cx in range(min(w, len(expected[0])))
             if not (0 <= x + cx < width and 0 <= y + cy < height)
             or screen[y + cy][x + cx] != expected[cy][cx]]
    t.check(not wrong, "%d pixels of the display differ from its bitmap, first at %r"
            % (len(wrong), wrong[:3]))


if __name__ == "__main__":
    sys.exit(main())
