#!/usr/bin/env python3
"""Shows (or hides) a simulated NI USB-6008 to SetupAPI in a Wine prefix.

Under Wine, SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_PRESENT |
DIGCF_ALLCLASSES) lists every key HKLM\\System\\CurrentControlSet\\Enum\\
<enumerator>\\<device id>\\<instance> that has a ClassGUID value, and
SPDRP_DEVICEDESC reads its DeviceDesc; no driver is needed. So a program's
own device discovery finds the device unchanged.

  register_daq_device.py add [--serial 01F2A3B4] [--description "NI USB-6008"]
  register_daq_device.py remove
  register_daq_device.py show

WINEPREFIX names the prefix. The registry is written with regedit through
scripts/wine-run (so the prefix's locale and wineserver are the tests' own);
--wine-run names another wrapper. "remove" deletes the whole device id key
(VID_3923&PID_717A, NI's USB-6008) with every instance under it. The key
survives Wine restarts until it is removed.

From Python: add(serial=..., description=...), remove(), show().
"""

import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(os.path.dirname(HERE), "scripts", "wine-run")

DEVICE_ID = "VID_3923&PID_717A"  # National Instruments, USB-6008
DEVICE_KEY = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\" + DEVICE_ID
USB_CLASS_GUID = "{36FC9E60-C465-11CF-8056-444553540000}"
DEFAULT_SERIAL = "01F2A3B4"
DEFAULT_DESCRIPTION = "NI USB-6008"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def reg_text(value):
    return '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')


def run_wine(argv, wine_run=WINE_RUN, timeout=120):
    if not os.environ.get("WINEPREFIX"):
        raise SystemExit("register_daq_device: WINEPREFIX must name the prefix")
    done = subprocess.run([wine_run] + argv, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def import_reg(lines, wine_run=WINE_RUN):
    text = "Windows Registry Editor Version 5.00\r\n\r\n" + "\r\n".join(lines) + "\r\n"
    with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False, encoding="ascii",
                                     newline="") as f:
        f.write(text)
        path = f.name
    try:
        rc, out = run_wine(["regedit", "/S", windows_path(path)], wine_run)
    finally:
        os.unlink(path)
    if rc != 0:
        raise SystemExit("register_daq_device: regedit failed (%d): %s" % (rc, out))


def add(serial=DEFAULT_SERIAL, description=DEFAULT_DESCRIPTION, wine_run=WINE_RUN):
    import_reg([
        "[%s\\%s]" % (DEVICE_KEY, serial),
        '"ClassGUID"=%s' % reg_text(USB_CLASS_GUID),
        '"DeviceDesc"=%s' % reg_text(description),
        '"Mfg"=%s' % reg_text("National Instruments"),
        '"Class"=%s' % reg_text("USB"),
    ], wine_run)


def remove(wine_run=WINE_RUN):
    import_reg(["[-%s]" % DEVICE_KEY], wine_run)


def show(wine_run=WINE_RUN):
    """The registry's view of the device key (empty text when absent)."""
    rc, out = run_wine(["reg", "query", DEVICE_KEY.replace("HKEY_LOCAL_MACHINE", "HKLM"), "/s"],
                       wine_run)
    return out if rc == 0 else ""


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("action", choices=("add", "remove", "show"))
    p.add_argument("--serial", default=DEFAULT_SERIAL, help="instance name (the serial number)")
    p.add_argument("--description", default=DEFAULT_DESCRIPTION, help="DeviceDesc")
    p.add_argument("--wine-run", default=WINE_RUN, help="the Wine wrapper to run regedit with")
    args = p.parse_args(argv)
    if args.action == "add":
        if not args.serial or "\\" in args.serial or "]" in args.serial:
            raise SystemExit("register_daq_device: --serial must be a plain key name")
        add(args.serial, args.description, args.wine_run)
    elif args.action == "remove":
        remove(args.wine_run)
    else:
        sys.stdout.write(show(args.wine_run))
    return 0


if __name__ == "__main__":
    sys.exit(main())
