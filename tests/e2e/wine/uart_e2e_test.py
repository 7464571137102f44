"""scaleprobe-cli.exe on COM1 backed by the machine's own UART, as Wine links
it (dosdevices/com1 -> /dev/ttyS0): nothing answers, so all twelve trials run
and the search ends with exit 1. Wine's wait for line events on such a port
ends only on an event or a changed mask, never on a cancel, so this is the
port on which the end of a trial must not wait for it.

Skipped (exit 77) where /dev/ttyS0 is no UART this user may open."""

import argparse
import fcntl
import os
import struct
import sys
import termios

from winetest import SKIP, Checks, Prefix

UART = "/dev/ttyS0"
NOT_FOUND = "自动搜索完毕, 没有找到适配的仪表"
TIOCGSERIAL = 0x541E


def is_uart(path):
    """A serial device with hardware behind it (its type is not unknown)."""
    try:
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError:
        return False
    try:
        fcntl.ioctl(fd, termios.TIOCMGET, b"\0" * 4)
        return struct.unpack_from("i", fcntl.ioctl(fd, TIOCGSERIAL, b"\0" * 256))[0] != 0
    except OSError:
        return False
    finally:
        os.close(fd)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--wineserver", required=True)
    ap.add_argument("--cli", required=True)
    ap.add_argument("--prefix", required=True)
    a = ap.parse_args()
    if not is_uart(UART):
        print("SKIP: %s is no UART this user may open" % UART, flush=True)
        return SKIP
    t = Checks()
    prefix = Prefix(a.wine, a.wineserver, a.prefix)
    prefix.create()
    try:
        prefix.boot()
        prefix.link_com(1, UART)
        # Twelve trials of about a second each; a hang ends the run here.
        code, out, err = prefix.run([a.cli, "--port", "COM1"], timeout=120)
        lines = out.decode("utf-8", "replace").splitlines()
        trials = sum(1 for line in lines if line.startswith("COM1 - "))
        t.check(code == 1, "exit %d, stderr %r" % (code, err[-300:]))
        t.check(trials == 12, "%d trials: %r" % (trials, lines[-6:]))
        # The window's end, then the trial with the most bytes (or none).
        t.check(NOT_FOUND in lines[-4:], "end of the transcript %r" % lines[-5:])
    finally:
        prefix.stop()
    t.finish()


if __name__ == "__main__":
    sys.exit(main())
