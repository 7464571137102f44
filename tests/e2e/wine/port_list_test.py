"""scaleprobe-cli.exe --list under Wine: the ports of the registry's
SERIALCOMM key, sorted character by character without regard to case
(COM11 before COM2), whatever order the registry gives them in, each with
what the device manager knows of it (a USB adapter and a built-in port made
as their drivers' installations make them); a value too long for its buffer
and a missing key each give the port-list error message once, on standard
error.

Wine fills SERIALCOMM when the prefix starts, from the ports configured
under HKLM\\Software\\Wine\\Ports (and the host's own serial devices), and
links dosdevices/comN to each; ports added later show only after the next
start. So the test configures ports in a fresh prefix and restarts it."""

import argparse
import json
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


def listed_names(out):
    """The port names of --list's lines, which may go on with a description."""
    return [line.split()[0] for line in out.decode("utf-8").splitlines() if line.strip()]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--wineserver", required=True)
    ap.add_argument("--cli", required=True)
    ap.add_argument("--add-device", required=True)
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
        lines = listed_names(out)
        t.check(code == 0, "--list exits 0, not %d" % code)
        t.check(err == b"", "no message: %r" % err)
        t.check(lines == char_sorted(listed), "--list gives %r for %r" % (lines, listed))
        pos = {name: i for i, name in enumerate(lines)}
        t.check(all(n in pos for n in ("COM11", "COM2", "COM3")) and
                pos["COM11"] < pos["COM2"] < pos["COM3"], "COM11, COM2, COM3 in %r" % lines)

        # Descriptions from SetupAPI: the friendly name, the hardware ID's
        # vendor and product, the serial number of the instance ID, the
        # driver; the kernel device from SERIALCOMM where nothing else is
        # known.
        for device in (["USB\\VID_0403&PID_6001\\A50285BI", "COM3", "USB Serial Port (COM3)",
                        "USB\\VID_0403&PID_6001&REV_0600", "FTDI", "usbser"],
                       ["ACPI\\PNP0501\\1", "COM2", "Communications Port (COM2)",
                        "ACPI\\PNP0501", "(Standard port types)", "Serial"]):
            code, _, err = prefix.run([a.add_device] + device)
            t.check(code == 0, "AddPortDevice %s: %d %r" % (device[1], code, err))
        code, out, err = prefix.run([a.cli, "--list"])
        described = {line.split()[0]: line.split(None, 1)[1] if len(line.split()) > 1 else ""
                     for line in out.decode("utf-8").splitlines()}
        t.check(code == 0 and err == b"", "--list: %d %r" % (code, err))
        t.check(described.get("COM3", "").startswith(
            "USB adapter: USB Serial Port (COM3) (0403:6001), hardware ID "
            "USB\\VID_0403&PID_6001&REV_0600, serial A50285BI, driver usbser"),
            "COM3: %r" % described.get("COM3"))
        t.check(described.get("COM2", "").startswith(
            "built-in port: Communications Port (COM2), hardware ID ACPI\\PNP0501, "
            "driver Serial"), "COM2: %r" % described.get("COM2"))
        t.check("device " in described.get("COM11", ""), "COM11: %r" % described.get("COM11"))
        code, out, err = prefix.run([a.cli, "--list", "--json"])
        try:
            ports = {p["port"]: p for p in json.loads(out.decode("utf-8"))["ports"]}
        except (ValueError, KeyError) as e:
            ports = {}
            t.check(False, "--list --json: %s in %r" % (e, out))
        t.check(code == 0 and sorted(ports) == sorted(listed), "--list --json: %r" % sorted(ports))
        usb = ports.get("COM3", {})
        t.check(usb.get("kind") == "usb" and usb.get("vendor_id") == "0403" and
                usb.get("product_id") == "6001" and usb.get("serial") == "A50285BI" and
                usb.get("friendly_name") == "USB Serial Port (COM3)" and
                usb.get("description") == described.get("COM3"), "COM3 as JSON: %r" % usb)
        t.check(ports.get("COM2", {}).get("kind") == "built-in", "COM2: %r" % ports.get("COM2"))

        # A value whose data does not fit 256 bytes, enumerated last: the
        # ports before it are listed, and the message comes once.
        prefix.run(["reg", "add", KEY, "/v", "zzzz", "/d", "COM" + "9" * 200, "/f"])
        code, out, err = prefix.run([a.cli, "--list"])
        lines = listed_names(out)
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
