"""scaleprobe-cli.exe --list under Wine: the ports of the registry's
SERIALCOMM key, sorted character by character without regard to case
(COM11 before COM2), whatever order the registry gives them in; a value
too long for its buffer and a missing key each give the port-list error
message once, on standard error.

Wine fills SERIALCOMM when the prefix starts, from the ports configured
under HKLM\\Software\\Wine\\Ports (and the host's own serial devices), and
links dosdevices/comN to each; ports added later show only after the next
start. So the test configures ports in a fresh prefix and restarts it."""

import argparse
import re
import sys

from winetest import Checks, Prefix

MSG_LIST_ERROR = "打开串口列表的注册表项出错"
KEY = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"


def registry_ports(prefix):
    """The data of SERIALCOMM's values, in the registry's own order."""
    code, out, _ = prefix.run(["reg", "query", KEY])
    if code != 0:
        return []
    return re.findall(r"^\s+\S+\s+REG_SZ\s+(\S+)\s*$", out.decode("utf-8", "replace"), re.M)


def char_sorted(names):
    return sorted(names, key=lambda s: [c.lower() for c in s])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--wineserver", required=True)
    ap.add_argument("--cli", required=True)
    ap.add_argument("--prefix", required=True)
    a = ap.parse_args()
    t = Checks()
    prefix = Prefix(a.wine, a.wineserver, a.prefix)
    prefix.create()
    try:
        for number in (3, 11, 2):
            prefix.run(["reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % number,
                        "/d", "/dev/null", "/f"])
        prefix.restart()

        listed = registry_ports(prefix)
        t.check({"COM2", "COM3", "COM11"} <= set(listed), "registry lists %r" % listed)
        # The registry's order is not the list's: sorting is the program's.
        code, out, err = prefix.run([a.cli, "--list"])
        lines = out.decode("utf-8").splitlines()
        t.check(code == 0, "--list exits 0, not %d" % code)
        t.check(err == b"", "no message: %r" % err)
        t.check(lines == char_sorted(listed), "--list gives %r for %r" % (lines, listed))
        pos = {name: i for i, name in enumerate(lines)}
        t.check(all(n in pos for n in ("COM11", "COM2", "COM3")) and
                pos["COM11"] < pos["COM2"] < pos["COM3"], "COM11, COM2, COM3 in %r" % lines)

        # A value whose data does not fit 256 bytes, enumerated last: the
        # ports before it are listed, and the message comes once.
        prefix.run(["reg", "add", KEY, "/v", "zzzz", "/d", "COM" + "9" * 200, "/f"])
        code, out, err = prefix.run([a.cli, "--list"])
        lines = out.decode("utf-8").splitlines()
        t.check(code == 0, "--list exits 0 after an error, not %d" % code)
        t.check(err.decode("utf-8").count(MSG_LIST_ERROR) == 1, "one message: %r" % err)
        t.check(lines == char_sorted(listed), "ports read before the error: %r" % lines)

        # No key at all: the message, and an empty list.
        prefix.run(["reg", "delete", KEY, "/f"])
        code, out, err = prefix.run([a.cli, "--list"])
        t.check(code == 0 and out == b"", "empty list: %d %r" % (code, out))
        t.check(err.decode("utf-8").count(MSG_LIST_ERROR) == 1, "one message: %r" % err)
    finally:
        prefix.stop()
    t.finish()


if __name__ == "__main__":
    sys.exit(main())
