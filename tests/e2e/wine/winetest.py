"""Helpers for driving Windows programs under Wine from Linux: a prefix of
the test's own, COM ports mapped to pseudo-terminals, runs with a time
limit. Python standard library only."""

import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests


class Prefix:
    """A Wine prefix made fresh for one test script, with its own server."""

    def __init__(self, wine, wineserver, path):
        self.wine = wine
        self.wineserver = wineserver
        self.path = os.path.abspath(path)
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=self.path, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # ANSI code page 936, so the log's Chinese banners survive.
        self.env["LC_ALL"] = "zh_CN.UTF-8"

    def create(self):
        self.stop()
        shutil.rmtree(self.path, ignore_errors=True)
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        self.start_server()
        subprocess.run([self.wine, "wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        if not os.path.exists(os.path.join(self.path, "system.reg")):
            self.restart()
        if not os.path.exists(os.path.join(self.path, "system.reg")):
            raise RuntimeError("cannot make the Wine prefix " + self.path)

    def start_server(self):
        # Started here, so that its own output never mixes into a program's.
        subprocess.run([self.wineserver, "-p"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def stop(self):
        if os.path.isdir(self.path):
            subprocess.run([self.wineserver, "-k"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
            subprocess.run([self.wineserver, "-w"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def restart(self):
        """Ends the prefix's server and starts it again: the devices and
        their registry entries are made anew on the next start."""
        self.stop()
        self.start_server()
        self.boot()

    def boot(self):
        # The prefix's services start with the first program and keep its
        # standard handles: they must not be a test's pipes.
        subprocess.run([self.wine, "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def link_com(self, number, target):
        self.unlink_com(number)
        os.symlink(target, os.path.join(self.path, "dosdevices", "com%d" % number))

    def unlink_com(self, number):
        link = os.path.join(self.path, "dosdevices", "com%d" % number)
        if os.path.lexists(link):
            os.unlink(link)

    def spawn(self, args):
        return subprocess.Popen([self.wine] + args, env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def run(self, args, timeout=120):
        """Runs a program; (exit status, standard output, standard error) as
        bytes. Its output goes to files, so the end of the program, not of
        every process holding its handles, ends the run. One that does not
        end in time is killed and reported."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen([self.wine] + args, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err)
            try:
                proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                err.seek(0)
                raise AssertionError("%s did not end within %d s; stderr: %r"
                                     % (args, timeout, err.read()[-500:]))
            out.seek(0)
            err.seek(0)
            return proc.returncode, out.read(), err.read()


class Pty:
    """A pseudo-terminal: the test holds the master, a COM port links to the
    slave. Nobody writes to it unless the test does."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        self.path = os.ttyname(self.slave)

    def close(self):
        os.close(self.slave)
        os.close(self.master)


class Simulator:
    """scaleprobe-sim on its own pseudo-terminal; the first line it prints
    is the port's path."""

    def __init__(self, program, args, ports_dir):
        env = dict(os.environ, SCALEPROBE_PORTS_DIR=ports_dir)
        self.proc = subprocess.Popen([program, "--no-announce"] + args, env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        ready, _, _ = select.select([self.proc.stdout], [], [], 30)
        self.path = self.proc.stdout.readline().decode().strip() if ready else ""
        if not self.path:
            self.stop()
            raise AssertionError("scaleprobe-sim %s printed no port" % args)

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()


class Checks:
    """Counts failed checks; a script ends with exit 1 when any failed."""

    def __init__(self):
        self.failed = 0
        self.passed = 0

    def check(self, cond, what):
        if cond:
            self.passed += 1
        else:
            self.failed += 1
            print("FAILED: " + what, flush=True)
        return cond

    def finish(self):
        print("%d passed, %d failed" % (self.passed, self.failed), flush=True)
        sys.exit(1 if self.failed else 0)

