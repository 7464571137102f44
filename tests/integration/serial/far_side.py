#!/usr/bin/env python3
"""Drives the far side of FarSideTest: one pseudo-terminal per port, one run
of the test program per scenario.

On Linux the program gets the slave's path; with --wine it is a Windows
program run through the given wrapper, and the slave is linked as
$WINEPREFIX/dosdevices/comN so that the program opens it as COMn.
"""
import argparse
import os
import pty
import select
import subprocess
import sys
import termios
import time
import tty

TIMEOUT = 60  # seconds for one step of the far side; Wine can be slow


def pattern(size):
    return bytes(((i * 7 + i // 251) & 0xFF) for i in range(size))


class Port:
    """A pseudo-terminal; the program opens its slave side."""

    def __init__(self, wineprefix, number):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        self.path = os.ttyname(self.slave)
        self.link = None
        self.holder = None
        self.name = self.path
        if wineprefix:
            self.name = "COM%d" % number
            self.link = os.path.join(wineprefix, "dosdevices", "com%d" % number)
            if os.path.lexists(self.link):
                os.unlink(self.link)
            os.symlink(self.path, self.link)
            # The line becomes the controlling terminal of a session of its
            # own, not of the Wine server's (which would get SIGHUP when the
            # far side closes).
            self.holder = subprocess.Popen(
                [sys.executable, "-c",
                 "import os,sys; fd=os.open(sys.argv[1], os.O_RDWR); sys.stdin.read()",
                 self.path],
                stdin=subprocess.PIPE, start_new_session=True)

    def read(self, count, what):
        data = b""
        deadline = time.monotonic() + TIMEOUT
        while len(data) < count:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.master], [], [], max(left, 0))
            if not ready:
                raise AssertionError("no %s from the program" % what)
            data += os.read(self.master, count - len(data))
        return data

    def expect(self, letter):
        got = self.read(1, "'%s'" % letter)
        if got != letter.encode():
            raise AssertionError("expected %r, got %r" % (letter, got))

    def send(self, data):
        view = memoryview(data)
        while view:
            _, ready, _ = select.select([], [self.master], [], TIMEOUT)
            if not ready:
                raise AssertionError("the program stopped reading")
            view = view[os.write(self.master, view[:4096]):]

    def close_master(self):
        if self.master >= 0:
            os.close(self.master)
            self.master = -1

    def close(self):
        self.close_master()
        os.close(self.slave)
        if self.holder:
            self.holder.stdin.close()
            try:
                self.holder.wait(10)
            except subprocess.TimeoutExpired:
                self.holder.kill()
                self.holder.wait()
        if self.link and os.path.lexists(self.link):
            os.unlink(self.link)


def in_order(ports):
    p = ports[0]
    p.expect("R")
    p.send(pattern(5000))
    p.expect("B")
    p.send(b"b" * 300)


def line_settings(ports):
    p = ports[0]
    for letter, speed, two_stop in (("S", termios.B19200, True), ("T", termios.B4800, False)):
        p.expect(letter)
        attrs = termios.tcgetattr(p.master)
        found = []
        if attrs[5] != speed:
            found.append("speed %d, not %d" % (attrs[5], speed))
        if bool(attrs[2] & termios.CSTOPB) != two_stop:
            found.append("CSTOPB %s" % bool(attrs[2] & termios.CSTOPB))
        p.send(b"ok" if not found else ("bad: " + ", ".join(found)).encode())


def high_port(ports):
    p = ports[1]
    p.expect("R")
    p.send(b"high port")


def far_side_closes(ports):
    p = ports[0]
    p.expect("R")
    p.send(b"before")
    p.expect("C")
    p.close_master()


def one_mebibyte(ports):
    p = ports[0]
    p.expect("R")
    p.send(pattern(1 << 20))


def steady_stream(ports):
    p = ports[0]
    p.expect("R")
    # Pacing only: a byte a millisecond, never a 10 ms pause.
    start = time.monotonic()
    for i in range(1000):
        p.send(b"s")
        wait = start + (i + 1) / 1000.0 - time.monotonic()
        if wait > 0:
            time.sleep(wait)


def nothing(ports):
    pass


SCENARIOS = [
    ("BytesArriveInOrderInBlocksAndABurstAsOneBlock", in_order),
    ("LineSettingsReadBackOnTheFarSide", line_settings),
    ("APortNumberedTenOrMoreOpensThroughTheDevicePrefix", high_port),
    ("TheFarSideClosingGivesAHangupAndStopReturns", far_side_closes),
    ("OneMebibyteArrivesWithNothingLost", one_mebibyte),
    ("ASteadyStreamIsHandedOverWhileItFlows", steady_stream),
    ("OpenIsExclusive", nothing),
]


def run(args, name, drive):
    wineprefix = args.wineprefix
    ports = [Port(wineprefix, args.low), Port(wineprefix, args.high)]
    env = dict(os.environ, SP_PORT=ports[0].name, SP_PORT_HIGH=ports[1].name)
    if wineprefix:
        env["SP_WINE"] = "1"
    command = ([args.wine] if args.wine else []) + [args.program,
                                                     "--gtest_filter=FarSide." + name]
    program = subprocess.Popen(command, env=env)
    failure = None
    try:
        drive(ports)
    except AssertionError as error:
        failure = str(error)
    try:
        code = program.wait(TIMEOUT)
    except subprocess.TimeoutExpired:
        program.kill()
        program.wait()
        code = "killed after %d s" % TIMEOUT
    for p in ports:
        p.close()
    if failure or code != 0:
        print("far_side: %s failed: %s (exit %s)" % (name, failure or "program", code))
        return False
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--wine", help="wrapper that runs a Windows program")
    parser.add_argument("--wineprefix", help="the wrapper's prefix, for the COM links")
    parser.add_argument("--wineserver", help="started first, so that its object dumps stay quiet")
    parser.add_argument("--low", type=int, default=8, help="COM number of the first port")
    parser.add_argument("--high", type=int, default=41, help="COM number of the second port")
    parser.add_argument("--only", help="run this scenario only")
    args = parser.parse_args()
    if args.wineserver:
        # Our own server for the prefix (none is started when one runs);
        # nothing it writes belongs in the test's output.
        subprocess.run([args.wineserver, "-p5"], env=dict(os.environ, WINEPREFIX=args.wineprefix),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    passed = failed = 0
    for name, drive in SCENARIOS:
        if args.only and args.only != name:
            continue
        if run(args, name, drive):
            passed += 1
        else:
            failed += 1
    print("far_side: %d passed, %d failed" % (passed, failed))
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
