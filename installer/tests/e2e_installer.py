#!/usr/bin/env python3
"""The suite's installer package under Wine, from a fresh prefix to uninstall,
with the demo's simulators (scripts/demo_suite.py) for the devices:

1. `msiexec /i PACKAGE /qn UPDATE_CERT_SHA256=...`: the programs (stripped,
   their build ids those of the .debug files beside the package, each with its
   own icon), gps.dll and the SDK in the installation folder, the default
   Tuvarnex.xml, the Start-menu shortcuts, the pinned certificate in the
   registry, one entry in the installed programs; no driver or outside program
   in the folder.
2. The operator's configuration in Tuvarnex.xml, the DAQ driver stand-in in
   the system folder and the updater stand-in beside the programs (as their
   own installers put them), the simulators: each
   program starts from the installed folder and comes up; a screenshot of the
   three windows.
3. A client of gps.dll in the installed folder starts the installed Orvanta.exe
   and reads a fix through it.
4. `msiexec /i NEWER_PACKAGE /qn` (the next revision, no property): one entry
   of the newer version, the edited Tuvarnex.xml and the pinned certificate kept.
5. `msiexec /x NEWER_PACKAGE /qn`: the programs, the SDK, the shortcuts and the
   entry gone; Tuvarnex.xml and the logs the services wrote stay.
6. The package again without the property: the Tuvarnex.xml left behind is
   kept, no certificate value is written; then uninstalled.

  e2e_installer.py --build-dir DIR --work DIR --package MSI --newer-package MSI
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "sim"))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from e2e_wine import Failure, check, windows_path  # noqa: E402
import demo_suite  # noqa: E402
import register_daq_device  # noqa: E402

PRODUCT = "Marvesto Road Survey Acquisition"
INSTALL_DIR = ("Marvesto", "Survey")  # under the system drive
# The Start-menu folder of the shortcuts: the common one on Windows; Wine's
# installer puts a per-machine package's shortcuts into the installing user's.
START_MENUS = (("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs"),
               ("users", os.environ.get("USER", "root"), "AppData", "Roaming", "Microsoft",
                "Windows", "Start Menu", "Programs"))
SHORTCUT_FOLDER = "Marvesto Survey"
PROGRAMS = ("Orvanta.exe", "gps.dll", "Vestrami.exe", "Tessarin.exe")
SDK = ("gps.h", "gps.lib", "libgps.a")
NOT_PACKAGED = ("nicaiu.dll", "ftd2xx.dll", "libmysql.dll", "rvupdate.exe")
DEFAULT_CONFIG = b'<?xml version="1.0" encoding="utf-8"?>\n<CONFIGURATION>\n</CONFIGURATION>\n'
PIN = "5f" * 32  # a SHA-256 fingerprint, hexadecimal
COMMON_KEY = "HKLM\\Software\\Marvesto\\Common"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
MSIEXEC_TIMEOUT_S = 300


class KitRun(demo_suite.Demo):
    """The demo's Wine prefix, simulators and services, on an installation
    made by the package in a prefix of its own."""

    # Loopback addresses of their own: the demo and the scanner service's
    # tests may run their simulated scanners at the same time.
    scanners = ("127.0.0.22", "127.0.0.23")

    def __init__(self, args):
        super().__init__(argparse.Namespace(build_dir=args.build_dir, demo_dir=args.work))
        self.args = args
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.install = os.path.join(self.drive_c, *INSTALL_DIR)
        self.install_win = "C:\\" + "\\".join(INSTALL_DIR)
        self.shot = os.path.join(args.work, "installed-windows.png")

    def fresh_prefix(self):
        if os.path.isdir(self.prefix):
            self.wine.stop()
        shutil.rmtree(self.demo, ignore_errors=True)
        os.makedirs(self.logs)
        os.makedirs(os.path.dirname(self.folder))
        self.start_wine()

    def msiexec(self, *argv):
        started = time.monotonic()
        rc, out = self.wine.run(["msiexec"] + list(argv), timeout=MSIEXEC_TIMEOUT_S)
        demo_suite.say("   msiexec %s: %d (%.0f s)" % (" ".join(argv), rc,
                                                      time.monotonic() - started))
        return rc

    def reg_value(self, key, name):
        """A REG_SZ value's text ("" when empty), None when there is no value."""
        rc, out = self.wine.run(["reg", "query", key, "/v", name], timeout=60)
        for line in out.splitlines():
            fields = line.split()
            if rc == 0 and len(fields) >= 2 and fields[0] == name:
                return fields[2] if len(fields) >= 3 else ""
        return None

    def entries(self):
        """(key, DisplayVersion) of each installed-programs entry of the suite."""
        rc, out = self.wine.run(["reg", "query", UNINSTALL_KEY, "/s"], timeout=60)
        found, key, name, version = [], None, None, None
        for line in out.splitlines() + [""]:
            if line.startswith("HKEY_"):
                if name == PRODUCT:
                    found.append((key, version))
                key, name, version = line.strip(), None, None
            elif line.strip().startswith("DisplayName"):
                name = line.split("REG_SZ", 1)[-1].strip()
            elif line.strip().startswith("DisplayVersion"):
                version = line.split("REG_SZ", 1)[-1].strip()
        if name == PRODUCT:
            found.append((key, version))
        return found

    def path(self, *names):
        return os.path.join(self.install, *names)

    def shortcuts(self):
        """{name: the link's bytes} of the suite's Start-menu folder."""
        links = {}
        for menu in START_MENUS:
            folder = os.path.join(self.drive_c, *menu, SHORTCUT_FOLDER)
            for name in os.listdir(folder) if os.path.isdir(folder) else []:
                with open(os.path.join(folder, name), "rb") as f:
                    links[name] = f.read()
        return links

    def config_bytes(self):
        with open(self.path("Tuvarnex.xml"), "rb") as f:
            return f.read()

    # -- 1. install ---------------------------------------------------------------
    def install_package(self):
        demo_suite.say("== installing %s" % self.args.package)
        rc = self.msiexec("/i", windows_path(self.args.package), "/qn",
                          "UPDATE_CERT_SHA256=" + PIN)
        check(rc == 0, "the package installs silently into the fresh prefix")
        self.release_binaries()
        self.program_icons()
        for name in PROGRAMS:
            check(os.path.isfile(self.path(name)), "%s is in %s" % (name, self.install_win))
            with open(self.path(name), "rb") as f, \
                    open(os.path.join(self.args.release_dir, name), "rb") as g:
                check(f.read() == g.read(), "the installed %s is the release binary" % name)
        for name in SDK:
            check(os.path.isfile(self.path("SDK", name)), "SDK\\%s is installed" % name)
        check(not any(os.path.exists(self.path(n)) for n in NOT_PACKAGED),
              "no driver, stand-in or outside program is in the folder")
        check(self.config_bytes() == DEFAULT_CONFIG, "the default Tuvarnex.xml is installed")
        links = self.shortcuts()
        check(sorted(links) == ["Orvanta.lnk", "Tessarin.lnk", "Vestrami.lnk"],
              "the Start menu has the three programs (%s)" % sorted(links))
        for name, data in links.items():
            target = "%s\\%s.exe" % (self.install_win, name[:-4])
            check(target.encode("utf-16-le") in data or target.encode() in data,
                  "%s starts %s" % (name, target))
        check(self.reg_value(COMMON_KEY, "UpdateCertSha256") == PIN,
              "UPDATE_CERT_SHA256 is written to UpdateCertSha256")
        entries = self.entries()
        check(len(entries) == 1 and entries[0][1] == self.args.version,
              "one entry in the installed programs, version %s (%s)" % (self.args.version,
                                                                         entries))

    def release_binaries(self):
        """Each binary of the package carries no debug information, names its
        .debug file beside the package and has the build id of that file."""
        for name in PROGRAMS:
            debug = os.path.join(self.args.kit_dir, name + ".debug")
            binary, symbols = (self.objdump(self.path(name)), self.objdump(debug))
            check(".debug_info" not in binary["sections"] and ".gnu_debuglink" in
                  binary["sections"] and ".debug_info" in symbols["sections"],
                  "%s is stripped and links its debug information" % name)
            check(binary["build_id"] is not None and binary["build_id"] == symbols["build_id"],
                  "%s and %s.debug have one build id (%s)" % (name, name, binary["build_id"]))

    def program_icons(self):
        """Each program carries the images of its own icon, made in the build."""
        images = {}
        for name, folder in (("Orvanta", "gnss"), ("Vestrami", "scanner"),
                             ("Tessarin", "sensors")):
            with open(self.tool("%s/%s_icon.ico" % (folder, name)), "rb") as f:
                ico = f.read()
            # ICONDIR (6 bytes), then 16-byte entries: size at 8, offset at 12.
            count = struct.unpack_from("<H", ico, 4)[0]
            images[name] = [ico[offset:offset + size] for size, offset in
                            (struct.unpack_from("<II", ico, 6 + 16 * i + 8)
                             for i in range(count))]
        for name, own in images.items():
            with open(self.path(name + ".exe"), "rb") as f:
                data = f.read()
            check(len(own) == 3 and all(image in data for image in own),
                  "%s.exe carries its own icon (%d images)" % (name, len(own)))
            others = [n for n, icons in images.items() if n != name and icons[0] in data]
            check(not others, "%s.exe carries no other program's icon" % name)

    def objdump(self, path):
        out = subprocess.run([self.args.objdump, "-p", "-h", path], capture_output=True,
                             text=True, timeout=60).stdout
        sections = {line.split()[1] for line in out.splitlines()
                    if len(line.split()) > 2 and line.split()[0].isdigit()}
        build_id = None
        for line in out.splitlines():
            if "format RSDS signature" in line:
                build_id = line.split("signature", 1)[1].split()[0]
        return {"sections": sections, "build_id": build_id}

    # -- 2. the programs from the installed folder -------------------------------------
    def run_programs(self):
        demo_suite.say("== the programs from %s" % self.install_win)
        # The operator's configuration, as the configuration tool writes it.
        with open(self.path("Tuvarnex.xml"), "w", encoding="utf-8") as f:
            f.write(demo_suite.CONFIG.format(com=demo_suite.GNSS_COM, s0=self.scanners[0],
                                             s1=self.scanners[1]))
        # The DAQ driver comes with its own installer, into the system folder;
        # the suite's updater with its own, beside the programs.
        shutil.copy(self.tool("sim/nicaiu-stub/bin/nicaiu.dll"),
                    os.path.join(self.drive_c, "windows", "system32", "nicaiu.dll"))
        shutil.copy(self.tool("sim/rvupdate/rvupdate.exe"), self.path("rvupdate.exe"))
        self.start_simulators(60)
        self.start_services()
        self.wait_services()
        check(True, "Orvanta, Vestrami and Tessarin come up from the installed folder")
        self.place_windows()
        time.sleep(2)
        if self.wine.screenshot(self.shot):
            demo_suite.say("   screenshot of the three windows: %s" % self.shot)
        self.close_services()

    # -- 3. gps.dll starts the installed service -------------------------------------
    def gps_dll_starts_service(self):
        demo_suite.say("== gps.dll from the installed folder starts Orvanta.exe")
        client = "gps_dll_client.exe"
        shutil.copy(self.args.gps_client, self.path(client))
        check(not self.service_running(), "no Orvanta.exe runs")
        try:
            rc, out = self.wine.run([self.install_win + "\\" + client, "init",
                                     "wait-update:1:45000"], timeout=120)
            lines = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
            # 10: the service could not be started; 0 may still be "no fix yet".
            check(rc == 0 and lines.get("init", "10").split()[0] != "10",
                  "_InitGPSDefault of the installed gps.dll starts the service (%s)"
                  % out.strip())
            check(lines.get("wait-update", "").split()[0] == "1",
                  "the installed service publishes a fix through gps.dll")
            check(self.service_running(),
                  "the running Orvanta.exe is the installed one (%s)" % self.install_win)
        finally:
            probe = demo_suite.WinProbe(self.wine, self.winprobe, "Orvanta v")
            probe.window("close", "--wait-gone", timeout_ms=30000, timeout=60)
            deadline = time.monotonic() + 30
            while self.service_running() and time.monotonic() < deadline:
                time.sleep(0.5)
            os.remove(self.path(client))

    def service_running(self):
        needle = (self.install_win + "\\Orvanta.exe").lower().encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    if needle in f.read().lower():
                        return True
            except OSError:
                pass
        return False

    # -- 4. upgrade ----------------------------------------------------------------
    def upgrade(self):
        demo_suite.say("== upgrading with %s" % self.args.newer_package)
        edited = self.config_bytes()
        check(edited != DEFAULT_CONFIG, "Tuvarnex.xml holds the operator's configuration")
        rc = self.msiexec("/i", windows_path(self.args.newer_package), "/qn")
        check(rc == 0, "the newer package installs silently over the older one")
        entries = self.entries()
        check(len(entries) == 1 and entries[0][1] == self.args.newer_version,
              "one entry in the installed programs, version %s (%s)"
              % (self.args.newer_version, entries))
        check(all(os.path.isfile(self.path(n)) for n in PROGRAMS), "the programs are there")
        check(self.config_bytes() == edited, "the edited Tuvarnex.xml is kept")
        check(self.reg_value(COMMON_KEY, "UpdateCertSha256") == PIN,
              "the pinned certificate is kept without the property")
        return edited

    # -- 5. uninstall ----------------------------------------------------------------
    def uninstall(self, edited):
        demo_suite.say("== uninstalling")
        logs = [n for n in os.listdir(self.install) if n.lower().endswith(".log")]
        check(bool(logs), "the services wrote their logs beside themselves (%s)" % logs)
        rc = self.msiexec("/x", windows_path(self.args.newer_package), "/qn")
        check(rc == 0, "the package uninstalls silently")
        left = [n for n in PROGRAMS if os.path.exists(self.path(n))]
        check(not left, "the programs are removed (left: %s)" % left)
        check(not os.path.exists(self.path("SDK")), "the SDK folder is removed")
        check(self.shortcuts() == {}, "the shortcuts are removed")
        check(self.entries() == [], "no entry is left in the installed programs")
        check(os.path.isfile(self.path("Tuvarnex.xml")) and self.config_bytes() == edited,
              "Tuvarnex.xml stays as the operator left it")
        check(all(os.path.isfile(self.path(n)) for n in logs), "the logs stay")

    # -- 6. a new installation over the left configuration ----------------------------
    def reinstall(self, edited):
        demo_suite.say("== installing again, without the pinned certificate")
        rc = self.msiexec("/i", windows_path(self.args.package), "/qn")
        check(rc == 0, "the package installs again")
        check(self.config_bytes() == edited, "the Tuvarnex.xml left behind is not replaced")
        check(self.reg_value(COMMON_KEY, "UpdateCertSha256") is None,
              "without UPDATE_CERT_SHA256 no UpdateCertSha256 value is written")
        rc = self.msiexec("/x", windows_path(self.args.package), "/qn")
        check(rc == 0 and self.entries() == [], "and uninstalls")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build-dir", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--package", required=True)
    p.add_argument("--version", required=True)
    p.add_argument("--newer-package", required=True)
    p.add_argument("--newer-version", required=True)
    p.add_argument("--kit-dir", required=True, help="the package's folder, with the .debug files")
    p.add_argument("--release-dir", required=True, help="the stripped binaries in the package")
    p.add_argument("--objdump", required=True)
    p.add_argument("--gps-client", required=True)
    args = p.parse_args()
    run = KitRun(args)
    try:
        run.fresh_prefix()
        run.install_package()
        run.run_programs()
        run.gps_dll_starts_service()
        edited = run.upgrade()
        run.uninstall(edited)
        run.reinstall(edited)
    except (Failure, OSError, subprocess.TimeoutExpired) as e:
        print("FAILED:", e, flush=True)
        return 1
    finally:
        run.shut_down()
    print("installer test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
