"""scaleprobe-cli.exe under Wine against scaleprobe-sim on Linux: Wine's COMn
is the pseudo-terminal that dosdevices/comN links to, so the simulator's
port becomes a COM port (COM10 and above through the device prefix). Each
protocol is found at the trial the search's order predicts; a silent port
gives twelve trials and exit 1, with the log beside the .exe framed by its
banners; Ctrl+C ends a search at once with 130; a port that cannot be
opened ends it with 2 and the reason; the forms of a COM name that Windows
accepts are searched as that port; --simulate says it needs Linux;
--all-ports searches every port of SERIALCOMM at once and gives each its
result; --save edits a UTF-16 INI in UTF-16, follows a symbolic link and
refuses a folder; standard output that cannot be written gives 2.

Skipped (exit 77) when the Linux simulator is not built."""

import argparse
import glob
import json
import os
import select
import signal
import subprocess
import sys
import tempfile
import time

from winetest import SKIP, Checks, Prefix, Pty, Simulator

FIRST = "尝试第一种通讯协议(适应于宁波柯力系列以及上海耀华系列等)"
SECOND = "尝试第二种通讯协议(适应与聊城昌信等)"
NOT_FOUND = "自动搜索完毕, 没有找到适配的仪表"
FOUND_HEAD = "找到了, 成功读取数据： "
RATE_SEP = " - 波特率: "
# The order of a search on one port: (protocol, rate) per trial.
ORDER = [(FIRST, 9600), (SECOND, 4800), (FIRST, 600), (FIRST, 1200), (FIRST, 2400),
         (FIRST, 4800), (FIRST, 19200), (SECOND, 600), (SECOND, 1200), (SECOND, 2400),
         (SECOND, 9600), (SECOND, 19200)]


def trials_of(lines):
    """(protocol, port, rate) of each trial: four lines each."""
    out = []
    for i in range(len(lines) - 3):
        if lines[i] != "" or lines[i + 1] != "----------------------------":
            continue
        cfg = lines[i + 3]
        if RATE_SEP not in cfg:
            continue
        port, rate = cfg.rsplit(RATE_SEP, 1)
        out.append((lines[i + 2], port, int(rate)))
    return out


def newest_log(exe_dir):
    logs = glob.glob(os.path.join(exe_dir, "log", "*", "*.log"))
    return max(logs, key=os.path.getmtime) if logs else None


def log_lines(path):
    with open(path, "rb") as f:
        # The log is in the ANSI code page: 936 in this prefix.
        return f.read().decode("gbk", "replace").splitlines()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--wineserver", required=True)
    ap.add_argument("--cli", required=True)
    ap.add_argument("--sim", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--send-event", required=True)
    a = ap.parse_args()
    if not os.access(a.sim, os.X_OK):
        print("SKIP: the Linux simulator %s is not built (build the release preset's "
              "scaleprobe-sim, or set SCALEPROBE_HOST_SIM)" % a.sim, flush=True)
        return SKIP
    t = Checks()
    prefix = Prefix(a.wine, a.wineserver, a.prefix)
    prefix.create()
    prefix.boot()
    ports_dir = tempfile.mkdtemp(prefix="scaleprobe-wine-ports-")
    try:
        run_all(t, a, prefix, ports_dir)
    finally:
        prefix.stop()
        os.rmdir(ports_dir)
    t.finish()


def run_search(prefix, cli, port, timeout=120):
    code, out, err = prefix.run([cli, "--port", port], timeout=timeout)
    return code, out.decode("utf-8", "replace").splitlines(), err.decode("utf-8", "replace")


def run_all(t, a, prefix, ports_dir):
    # Each protocol at its standard setting and in the test phase; the
    # numbers from 10 up go through the device prefix.
    for sim_args, com, trial in ((["--protocol", "keli", "--baud", "9600"], 5, 1),
                             (["--protocol", "xk3168", "--baud", "4800", "--stop-bits", "2"],
                              15, 2),
                             (["--protocol", "keli", "--baud", "19200"], 6, 7),
                             (["--protocol", "xk3168", "--baud", "19200", "--stop-bits", "2"],
                              23, 12)):
        sim = Simulator(a.sim, sim_args, ports_dir)
        try:
            prefix.link_com(com, sim.path)
            port = "COM%d" % com
            code, lines, err = run_search(prefix, a.cli, port)
        finally:
            sim.stop()
        what = "%s on %s" % (" ".join(sim_args), port)
        trials = trials_of(lines)
        t.check(code == 0, "%s: exit %d, stderr %r" % (what, code, err))
        t.check(len(trials) == trial, "%s: %d trials, not %d" % (what, len(trials), trial))
        if trials:
            t.check((trials[-1][0], trials[-1][2]) == ORDER[trial - 1],
                    "%s: found at %r" % (what, trials[-1]))
            t.check(all(p == port for _, p, _ in trials), "%s: ports %r" % (what, trials))
        t.check(len(lines) == 4 * trial + 4 and lines[-2] == "~~~~~~~~~~~~~~~~" and
                lines[-1].startswith(FOUND_HEAD) and lines[-1].endswith(" 次"),
                "%s: end of the transcript %r" % (what, lines[-4:]))
        t.check("找到仪表\n" in err, "%s: message %r" % (what, err))

    # The result as JSON, saved into an installation's INI (CR LF kept).
    ini = os.path.join(ports_dir, "site.INI")
    with open(ini, "wb") as f:
        f.write(b"; site\r\n[CommConfig]\r\nCommName=COM1\r\nBaudRate=4800\r\n")
    sim = Simulator(a.sim, ["--protocol", "keli", "--baud", "9600"], ports_dir)
    try:
        prefix.link_com(9, sim.path)
        code, out, err = prefix.run([a.cli, "--port", "COM9", "--json", "--save",
                                     "Z:" + ini.replace("/", "\\")])
    finally:
        sim.stop()
    try:
        doc = json.loads(out.decode("utf-8"))
    except ValueError:
        doc = {}
    t.check(code == 0 and doc.get("found") is True and doc.get("trial") == 1 and
            doc.get("port") == "COM9" and doc.get("baud_rate") == 9600,
            "--json: exit %d, %r, stderr %r" % (code, out[:300], err[-300:]))
    with open(ini, "rb") as f:
        saved = f.read()
    os.unlink(ini)
    t.check(saved == b"; site\r\n[CommConfig]\r\nCommName=COM9\r\nBaudRate=9600\r\n"
            b"StopBits=0\r\nProtocol=keli\r\n", "--save wrote %r" % saved)

    # A port nobody writes to: the whole search, no instrument, and the log.
    silent = Pty()
    try:
        prefix.link_com(7, silent.path)
        code, lines, err = run_search(prefix, a.cli, "COM7")
    finally:
        silent.close()
    trials = trials_of(lines)
    t.check(code == 1, "silent port: exit %d, stderr %r" % (code, err))
    t.check([(p, r) for p, _, r in trials] == ORDER, "silent port: trials %r" % trials)
    t.check(len(lines) == 12 * 4 + 5 and lines[-2:] == [NOT_FOUND, "no bytes arrived in any trial"],
            "silent port: %r" % lines[-4:])
    t.check(err == NOT_FOUND + "\n", "silent port: stderr %r" % err)
    exe_dir = os.path.dirname(os.path.abspath(a.cli))
    log = newest_log(exe_dir)
    t.check(log is not None, "no log under %s" % exe_dir)
    if log:
        ll = log_lines(log)
        starts = [i for i, l in enumerate(ll) if "启动软件" in l]
        t.check(bool(starts) and ll[starts[-1]].startswith("[Info]["),
                "start banner in %s: %r" % (log, ll[-3:]))
        t.check(bool(ll) and "退出软件" in ll[-1] and "[" not in ll[-1],
                "exit banner last in %s: %r" % (log, ll[-1:]))

    check_interrupt(t, a, prefix)
    check_console(t, a, prefix)
    check_closed_output(t, a, prefix)

    # Ports that cannot be opened: at once, exit 2, the reason. COM9's link
    # goes: the terminal it named may be another test's by now.
    prefix.unlink_com(9)
    prefix.link_com(8, "/dev/null")
    # A FIFO nobody writes to must not hold the check.
    fifo_dir = tempfile.mkdtemp(prefix="scaleprobe-wine-fifo-")
    os.mkfifo(os.path.join(fifo_dir, "fifo"))
    prefix.link_com(12, os.path.join(fifo_dir, "fifo"))
    for port, reason in (("COM9", "no such port"), ("COM8", "not a serial port"),
                         ("COM31", "no such port"), ("COM12", "not a serial port")):
        start = time.monotonic()
        code, lines, err = run_search(prefix, a.cli, port, timeout=60)
        t.check(time.monotonic() - start < 20, "%s: took %.1f s" % (port, time.monotonic() - start))
        t.check(code == 2 and lines == [], "%s: exit %d, output %r" % (port, code, lines))
        t.check(("cannot open %s: " % port) in err and reason in err, "%s: %r" % (port, err))
    os.unlink(os.path.join(fifo_dir, "fifo"))
    os.rmdir(fifo_dir)

    code, out, err = prefix.run([a.cli, "--simulate", "keli:9600"])
    t.check(code == 2 and out == b"" and b"--simulate needs the Linux simulator" in err,
            "--simulate: %d %r" % (code, err))
    code, out, err = prefix.run([a.cli, "--list"])
    names = [line.split()[0] for line in out.decode("utf-8").splitlines() if line.strip()]
    t.check(code == 0 and names == sorted(names, key=lambda s: [c.lower() for c in s]),
            "--list: %d %r %r" % (code, names, err))
    check_port_names(t, a, prefix, ports_dir)
    check_all_ports(t, a, prefix, ports_dir)
    # Last: the COM ports above must not meet this simulator's port.
    check_save_targets(t, a, prefix, ports_dir)
    check_lost_output(t, a, prefix)


def check_port_names(t, a, prefix, ports_dir):
    """The check and the search use one name: what Windows accepts for COM5
    finds the indicator on COM5; a name the client's number rule cannot read
    is refused at once."""
    sim = Simulator(a.sim, ["--protocol", "keli", "--baud", "9600"], ports_dir)
    try:
        prefix.link_com(5, sim.path)
        for name in ("\\\\.\\COM5", "//./COM5", "COM5:", "COM5 ", "COM5.", "com5"):
            code, lines, err = run_search(prefix, a.cli, name)
            trials = trials_of(lines)
            t.check(code == 0 and len(trials) == 1 and trials[0][1] == "COM5",
                    "--port %r: exit %d, trials %r, stderr %r" % (name, code, trials, err))
    finally:
        sim.stop()
    for name in ("CNCA0", "COMX"):
        code, lines, err = run_search(prefix, a.cli, name, timeout=60)
        t.check(code == 2 and lines == [] and "not a COM port name" in err,
                "--port %r: exit %d, stderr %r" % (name, code, err))


def check_all_ports(t, a, prefix, ports_dir):
    """Every port of SERIALCOMM at once: four indicators of two protocols at
    four rates (two through the device prefix), a silent port, one that is no
    serial port, one listed but missing, and one whose indicator goes away
    during the search. Each gets its own result; the run takes about one
    search's time."""
    indicators = {
        5: (["--protocol", "keli", "--baud", "9600"], "found keli 9600 8N1 (trial 1, "),
        6: (["--protocol", "xk3168", "--baud", "4800", "--stop-bits", "2"],
            "found xk3168 4800 8N2 (trial 2, "),
        11: (["--protocol", "keli", "--baud", "19200"], "found keli 19200 8N1 (trial 7, "),
        14: (["--protocol", "xk3168", "--baud", "1200", "--stop-bits", "2"],
             "found xk3168 1200 8N2 (trial 9, "),
        # Gone as its second trial starts: that trial or the next one fails.
        13: (["--protocol", "keli", "--baud", "2400"], "vanished in trial "),
    }
    sims = {}
    silent = Pty()
    try:
        for com, (args, _) in indicators.items():
            sims[com] = Simulator(a.sim, args, ports_dir)
            prefix.link_com(com, sims[com].path)
        prefix.link_com(7, silent.path)
        prefix.link_com(8, "/dev/null")
        prefix.unlink_com(9)
        expected = dict((com, want) for com, (_, want) in indicators.items())
        expected.update({7: "none found (12 trials)", 8: "cannot open (not a serial port): ",
                         9: "cannot open (no such port): "})
        # The key is volatile: only its values are replaced.
        prefix.run(["reg", "delete", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/va", "/f"])
        for com in expected:
            prefix.run(["reg", "add", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v",
                        "Serial%d" % com, "/d", "COM%d" % com, "/f"])
        start = time.monotonic()
        with tempfile.TemporaryFile() as out:
            proc = subprocess.Popen([a.wine, a.cli, "--all-ports", "--json"], env=prefix.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.PIPE)
            err = b""
            # COM13's indicator goes once its port's second trial has begun.
            while True:
                ready, _, _ = select.select([proc.stderr], [], [], 1)
                if not ready:
                    if time.monotonic() - start > 120:
                        proc.kill()
                    continue
                chunk = os.read(proc.stderr.fileno(), 65536)
                if not chunk:
                    break
                err += chunk
                if 13 in sims and ("[COM13] " + SECOND).encode() in err:
                    sims.pop(13).stop()
            proc.wait()
            took = time.monotonic() - start
            out.seek(0)
            text = out.read().decode("utf-8", "replace")
        proc.stderr.close()
    finally:
        for sim in sims.values():
            sim.stop()
        silent.close()
    err = err.decode("utf-8", "replace")
    t.check(proc.returncode == 0, "--all-ports: exit %d, stderr %r" % (proc.returncode, err[-800:]))
    # Twelve one-second trials of the silent port, and Wine's start.
    t.check(took < 12 * 1.5 + 10, "--all-ports took %.1f s" % took)
    summary = dict(line.split(": ", 1) for line in err.splitlines()
                   if line.startswith("COM") and ": " in line)
    for com, want in expected.items():
        got = summary.get("COM%d" % com, "")
        t.check(got.startswith(want), "--all-ports: COM%d %r, not %r" % (com, got, want))
    t.check(all(line.startswith("[COM") or line.startswith("COM") or line == ""
                for line in err.splitlines()), "--all-ports: unprefixed lines in %r" % err[-800:])
    try:
        doc = json.loads(text)
    except ValueError:
        doc = {}
    ports = {p.get("port"): p for p in doc.get("ports", [])}
    t.check(doc.get("found") is True and doc.get("exit_code") == 0 and
            sorted(ports) == sorted("COM%d" % com for com in expected),
            "--all-ports --json: %r" % text[:500])
    t.check(ports.get("COM6", {}).get("protocol") == "xk3168" and
            ports.get("COM6", {}).get("trial") == 2, "COM6: %r" % ports.get("COM6"))
    t.check(ports.get("COM8", {}).get("error", {}).get("reason") == "not-serial",
            "COM8: %r" % ports.get("COM8"))
    t.check(ports.get("COM13", {}).get("error", {}).get("reason") == "missing" and
            "open_error" in (ports.get("COM13", {}).get("trials") or [{}])[-1],
            "COM13: %r" % ports.get("COM13"))


def interrupted_run(a, prefix, com, trigger):
    """Starts a search on a silent port, calls trigger(process) once the
    first trial has started; (exit status, seconds it took to end after the
    trigger, standard error)."""
    silent = Pty()
    prefix.link_com(com, silent.path)
    with tempfile.TemporaryFile() as err:
        proc = subprocess.Popen([a.wine, a.cli, "--port", "COM%d" % com], env=prefix.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)
        out = b""
        deadline = time.monotonic() + 60
        while RATE_SEP.encode() not in out and time.monotonic() < deadline:
            ready, _, _ = select.select([proc.stdout], [], [], 1)
            if ready:
                chunk = os.read(proc.stdout.fileno(), 4096)
                if not chunk:
                    break
                out += chunk
        sent = time.monotonic()
        trigger(proc)
        try:
            proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        took = time.monotonic() - sent
        proc.stdout.close()
        err.seek(0)
        text = err.read().decode("utf-8", "replace")
    silent.close()
    return proc.returncode, took, text


def check_interrupt(t, a, prefix):
    """Ctrl+C (Wine turns SIGINT into the console's Ctrl+C event), Ctrl+Break,
    closing the console and log-off, once the first trial has started: the
    run ends within seconds with 128 + the signal's number and the log's exit
    banner."""
    exe = os.path.basename(a.cli)

    def console_event(number):
        return lambda proc: subprocess.run(
            [a.wine, a.send_event, exe, str(number)], env=prefix.env, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    for what, trigger, code, name in (
            ("Ctrl+C", lambda proc: proc.send_signal(signal.SIGINT), 130, "Ctrl+C"),
            ("Ctrl+Break", console_event(1), 149, "Ctrl+Break"),
            # The system ends the process as soon as the handler returns.
            ("closing the console", console_event(2), 129, "console closed"),
            ("log-off", console_event(5), 143, "log-off or shut-down")):
        status, took, text = interrupted_run(a, prefix, 4, trigger)
        t.check(status == code, "%s: exit %s, stderr %r" % (what, status, text))
        t.check(took < 10, "%s: ended %.1f s after" % (what, took))
        t.check(("interrupted (%s)" % name) in text and "没有找到" not in text,
                "%s: %r" % (what, text))
        log = newest_log(os.path.dirname(os.path.abspath(a.cli)))
        ll = log_lines(log) if log else []
        t.check(bool(ll) and "退出软件" in ll[-1], "%s: log ends %r" % (what, ll[-1:]))


def check_console(t, a, prefix):
    """Standard output on a terminal is a console under Wine: the transcript
    reaches it as UTF-16 (WriteConsoleW), which Wine's console shows on the
    terminal in UTF-8. UTF-8 bytes written to a console would be read in its
    code page and come out garbled. (Wine writes to the terminal in the
    host's locale, so this run takes one the host has.)"""
    silent = Pty()
    prefix.link_com(3, silent.path)
    term = Pty()
    with tempfile.TemporaryFile() as err:
        proc = subprocess.Popen([a.wine, a.cli, "--port", "COM3"],
                                env=dict(prefix.env, LC_ALL="C.UTF-8"), stdin=term.slave, stdout=term.slave, stderr=err)
        shown = b""
        deadline = time.monotonic() + 60
        while FIRST.encode() not in shown and time.monotonic() < deadline:
            ready, _, _ = select.select([term.master], [], [], 1)
            if ready:
                try:
                    shown += os.read(term.master, 65536)
                except OSError:
                    break
        proc.send_signal(signal.SIGINT)
        try:
            proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    term.close()
    silent.close()
    # Wine's console redraws its screen on the terminal, so only whole short
    # lines are sure to arrive as they are.
    t.check(FIRST.encode() in shown, "console: the transcript shows as %r" % shown[-300:])
    # The drawn display is written in blocks that cut characters in two; each
    # character still arrives whole.
    t.check("\u2588".encode() in shown and "\ufffd".encode() not in shown,
            "console: the display shows as %r" % shown[-300:])
    t.check(proc.returncode == 130, "console: exit %s" % proc.returncode)


def check_closed_output(t, a, prefix):
    """Nobody reads standard output: the first transcript line ends the run
    as a closed pipe does on Linux, 128 + 13."""
    silent = Pty()
    prefix.link_com(2, silent.path)
    read_end, write_end = os.pipe()
    os.close(read_end)
    with tempfile.TemporaryFile() as err:
        proc = subprocess.Popen([a.wine, a.cli, "--port", "COM2"], env=prefix.env,
                                stdin=subprocess.DEVNULL, stdout=write_end, stderr=err)
        os.close(write_end)
        try:
            proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        err.seek(0)
        text = err.read().decode("utf-8", "replace")
    silent.close()
    t.check(proc.returncode == 141 and "interrupted (standard output closed)" in text,
            "closed output: exit %s, stderr %r" % (proc.returncode, text))


def check_save_targets(t, a, prefix, ports_dir):
    """--save into what sits at the path: a Notepad "Unicode" INI is edited
    in UTF-16 with its CR LF, a symbolic link still names the file it named,
    which holds the result, and a folder or a device is refused with exit 2."""
    work = tempfile.mkdtemp(prefix="scaleprobe-wine-save-")
    keys = "CommName=COM11\r\nBaudRate=9600\r\nStopBits=0\r\nProtocol=keli\r\n"
    notepad = "\ufeff; 称重\r\n[CommConfig]\r\nCommName=COM1\r\n"

    def write(name, data):
        with open(os.path.join(work, name), "wb") as f:
            f.write(data)

    rows = (  # name, setup, target, exit, file read afterwards, its bytes
        ("notepad unicode", lambda: write("u16.INI", notepad.encode("utf-16-le")), "u16.INI", 0,
         "u16.INI", ("\ufeff; 称重\r\n[CommConfig]\r\n" + keys).encode("utf-16-le")),
        ("symbolic link",
         lambda: (write("real.INI", b"[Weight]\r\nX=5\r\n"),
                  os.symlink("real.INI", os.path.join(work, "link.INI"))),
         "link.INI", 0, "real.INI", b"[Weight]\r\nX=5\r\n\r\n[CommConfig]\r\n" + keys.encode()),
        ("folder", lambda: os.mkdir(os.path.join(work, "dir.INI")), "dir.INI", 2, None, None),
        ("device", lambda: None, "NUL", 2, None, None),
    )
    sim = Simulator(a.sim, ["--protocol", "keli", "--baud", "9600"], ports_dir)
    try:
        prefix.link_com(11, sim.path)
        for name, setup, target, want, afterwards, expected in rows:
            setup()
            path = target if target == "NUL" else "Z:" + os.path.join(work, target)
            code, out, err = prefix.run([a.cli, "--port", "COM11", "--save",
                                         path.replace("/", "\\")])
            text = err.decode("utf-8", "replace")
            t.check(code == want, "--save %s: exit %d, stderr %r" % (name, code, text[-300:]))
            if afterwards:
                with open(os.path.join(work, afterwards), "rb") as f:
                    got = f.read()
                t.check(got == expected, "--save %s: %s holds %r" % (name, afterwards, got))
            else:
                t.check("cannot save to" in text and "not a regular file" in text,
                        "--save %s: %r" % (name, text[-300:]))
        t.check(os.path.islink(os.path.join(work, "link.INI")), "--save replaced the link")
    finally:
        sim.stop()
        subprocess.run(["rm", "-rf", work])


def check_lost_output(t, a, prefix):
    """Standard output on a full disk, or closed: exit 2 and the reason on
    standard error, not 0 with the list lost."""
    for name, output, reason in (
            ("full disk", lambda: open("/dev/full", "wb"), "cannot write standard output: "),
            ("closed", lambda: None, "cannot write standard output: standard output is closed")):
        target = output()
        with tempfile.TemporaryFile() as err:
            proc = subprocess.Popen(
                [a.wine, a.cli, "--list"], env=prefix.env, stdin=subprocess.DEVNULL,
                stdout=target if target else subprocess.DEVNULL, stderr=err,
                preexec_fn=None if target else lambda: os.close(1))
            proc.wait(timeout=60)
            err.seek(0)
            text = err.read().decode("utf-8", "replace")
        if target:
            target.close()
        t.check(proc.returncode == 2 and reason in text,
                "--list, output %s: exit %s, stderr %r" % (name, proc.returncode, text))


if __name__ == "__main__":
    sys.exit(main())
