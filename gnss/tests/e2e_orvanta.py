#!/usr/bin/env python3
"""End-to-end checks of Orvanta.exe under Wine against the receiver simulator.

Every scenario deploys the programs into a folder laid out like an
installation, starts the simulator on a pty mapped as a COM port of a private
Wine prefix (so no other test's COM ports or named objects can interfere),
starts Orvanta.exe with its message boxes recorded in a file, checks what the
service publishes, logs and shows, and closes the window as an operator would.
Every wait is bounded; nothing leaves the machine.

The gps-dll scenarios instead deploy gps.dll and a client of it beside
Orvanta.exe and let the library start the service, as the suite's programs do.

  e2e_orvanta.py --scenario NAME --build-dir DIR --source-dir DIR --orvanta EXE
                 --client EXE --winprobe EXE [--gps-dll DLL] [--gps-client EXE]
                 [--rvupdate EXE] [--ptyshim SO] [--prefix DIR] [--work DIR]
                 [--keep-prefix]
  e2e_orvanta.py --stop-prefix --prefix DIR --source-dir DIR
"""

import argparse
import datetime
import json
import math
import os
import queue
import shutil
import subprocess
import sys
import threading
import time

SIM_COM = 5  # the port the simulator is mapped to in most scenarios


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    def __init__(self, args):
        self.args = args
        self.wine_run = os.path.join(args.source_dir, "scripts", "wine-run")
        self.env = dict(os.environ)
        self.env["WINEPREFIX"] = args.prefix
        self.env.pop("SURVEY_COM_MAP", None)
        if args.ptyshim and os.path.exists(args.ptyshim):
            self.env["SURVEY_LD_PRELOAD"] = args.ptyshim

    def start(self):
        # The first start creates the prefix; a fresh prefix sometimes needs
        # a second start before its services answer.
        for attempt in range(2):
            done = subprocess.run([self.wine_run, "--start"], env=self.env, timeout=240,
                                  stdin=subprocess.DEVNULL)
            if done.returncode == 0:
                break
        else:
            raise Failure("the Wine prefix does not start")
        # The suite's settings name a database server, so start-up goes on to
        # the update step, which finds no database client here.
        self.run(["reg", "add", "HKCU\\Software\\Marvesto\\Common", "/v", "SqlServer", "/t",
                  "REG_SZ", "/d", "127.0.0.1", "/f"], timeout=60)

    def stop(self):
        subprocess.run([self.wine_run, "--stop"], env=self.env, timeout=60,
                       stdin=subprocess.DEVNULL)

    def display(self):
        out = subprocess.run([self.wine_run, "--display"], env=self.env, capture_output=True,
                             text=True, timeout=30)
        return out.stdout.strip()

    def run(self, argv, timeout=30, env=None):
        e = dict(self.env)
        if env:
            e.update(env)
        out = subprocess.run([self.wine_run] + argv, env=e, capture_output=True, timeout=timeout,
                             stdin=subprocess.DEVNULL)
        return out.returncode, out.stdout.decode("utf-8", "replace")

    def spawn(self, argv, env=None, log=None):
        e = dict(self.env)
        if env:
            e.update(env)
        return subprocess.Popen([self.wine_run] + argv, env=e, stdin=subprocess.DEVNULL,
                                stdout=log or subprocess.DEVNULL, stderr=subprocess.STDOUT)


class Scenario:
    def __init__(self, args, wine):
        self.args = args
        self.wine = wine
        self.work = os.path.join(args.work, args.scenario)
        shutil.rmtree(self.work, ignore_errors=True)
        self.install = os.path.join(self.work, "install")
        os.makedirs(self.install)
        self.messages = os.path.join(self.work, "messages.log")
        self.truth = os.path.join(self.work, "truth.jsonl")
        self.control = os.path.join(self.work, "sim-control")
        open(self.control, "w").close()
        self.sim = None
        self.gps_client = None
        self.orvanta = None
        self.orvanta_log = None
        self.prefix_links = []

    # --- set-up ------------------------------------------------------------
    def deploy(self, gnss_attributes):
        shutil.copy(self.args.orvanta, os.path.join(self.install, "Orvanta.exe"))
        if self.args.gps_dll and os.path.exists(self.args.gps_dll):
            shutil.copy(self.args.gps_dll, os.path.join(self.install, "gps.dll"))
        if self.args.rvupdate and os.path.exists(self.args.rvupdate):
            shutil.copy(self.args.rvupdate, os.path.join(self.install, "rvupdate.exe"))
        element = ""
        if gnss_attributes is not None:
            attrs = " ".join('%s="%s"' % kv for kv in gnss_attributes.items())
            element = "\t<ГНСС %s/>\n" % attrs
        with open(self.config_path(), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<CONFIGURATION>\n%s</CONFIGURATION>\n'
                    % element)

    def config_path(self):
        return os.path.join(self.install, "Tuvarnex.xml")

    def clear_com_links(self):
        dos = os.path.join(self.args.prefix, "dosdevices")
        for name in os.listdir(dos) if os.path.isdir(dos) else []:
            if name.startswith("com") and name[3:].isdigit():
                os.unlink(os.path.join(dos, name))

    def start_sim(self, com, baud, extra=()):
        argv = [sys.executable, os.path.join(self.args.source_dir, "sim", "nmea_sim.py"),
                "--wine-com", str(com), "--baud", str(baud), "--truth", self.truth,
                "--control-file", self.control, "--duration", "300"] + list(extra)
        self.sim = subprocess.Popen(argv, env=self.wine.env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL,
                                    stderr=open(os.path.join(self.work, "sim.err"), "w"))
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if any(e.get("event") == "ready" for e in self.truth_events()):
                return
            if self.sim.poll() is not None:
                break
            time.sleep(0.1)
        raise Failure("the simulator did not get ready")

    def sim_command(self, text):
        with open(self.control, "a") as f:
            f.write(text + "\n")

    def truth_events(self):
        try:
            with open(self.truth, encoding="utf-8") as f:
                return [json.loads(line) for line in f if line.strip()]
        except (OSError, ValueError):
            return []

    def start_orvanta(self):
        self.orvanta_log = open(os.path.join(self.work, "orvanta.out"), "wb")
        self.orvanta = self.wine.spawn([os.path.join(self.install, "Orvanta.exe")],
                                       env={"SURVEY_MESSAGE_LOG": windows_path(self.messages)},
                                       log=self.orvanta_log)

    # --- observation ---------------------------------------------------------
    def client(self, *argv, timeout=40):
        return self.wine.run([self.args.client] + list(argv), timeout=timeout)

    def record(self):
        rc, out = self.client("record", "1", "0")
        lines = out.strip().splitlines()
        return lines[-1] if rc == 0 and lines else None

    def wait_record(self, predicate, timeout_s, what):
        deadline = time.monotonic() + timeout_s
        text = None
        while time.monotonic() < deadline:
            text = self.record()
            if text is not None and predicate(text):
                return text
            time.sleep(0.5)
        raise Failure("%s (last record %r)" % (what, text))

    def message_lines(self):
        try:
            with open(self.messages, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\n") for line in f]
        except OSError:
            return []

    def has_message(self, text):
        # One line per box: caption, icon and text, tab-separated.
        return any(line.split("\t")[-1] == text for line in self.message_lines())

    def has_winprobe(self):
        return bool(self.args.winprobe) and os.path.exists(self.args.winprobe)

    def probe(self, *argv, timeout=30):
        rc, out = self.wine.run([self.args.winprobe] + list(argv), timeout=timeout)
        return rc, out

    def controls(self):
        rc, out = self.probe("controls", "--title-prefix", "Orvanta v", "--timeout", "15000")
        check(rc == 0, "winprobe lists the window's controls")
        table = {}
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) >= 3 and parts[0].strip().lstrip("-").isdigit():
                table[int(parts[0])] = parts[1:]
        return table, out

    def config_text(self):
        with open(self.config_path(), "rb") as f:
            data = f.read()
        for enc in ("utf-8", "utf-16"):
            try:
                return data.decode(enc)
            except UnicodeDecodeError:
                pass
        return data.decode("latin-1")

    # --- tear-down -------------------------------------------------------------
    def close_orvanta(self):
        if self.orvanta is None:
            return True
        closed = False
        if self.orvanta.poll() is None:
            self.client("close", "20000", timeout=40)
            try:
                self.orvanta.wait(timeout=30)
                closed = True
            except subprocess.TimeoutExpired:
                self.orvanta.kill()
                self.orvanta.wait(timeout=10)
        else:
            closed = True
        self.orvanta_log.close()
        self.orvanta = None
        return closed

    def stop_sim(self):
        if self.sim is not None and self.sim.poll() is None:
            self.sim_command("quit")
            try:
                self.sim.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.sim.kill()
                self.sim.wait(timeout=5)
        self.sim = None

    def cleanup(self):
        try:
            if self.gps_client is not None:
                self.gps_client.cleanup()
                self.gps_client = None
            self.close_orvanta()
        finally:
            self.stop_sim()
            self.clear_com_links()


class GpsDllClient:
    """The step-driven client of gps.dll, run from the installation folder.

    It reads its steps from standard input; each step answers with one line
    that starts with the step's name. The service the library starts inherits
    the client's environment, so its message boxes go to the scenario's
    message log as well.
    """

    def __init__(self, scenario):
        self.scenario = scenario
        exe = os.path.join(scenario.install, os.path.basename(scenario.args.gps_client))
        env = dict(scenario.wine.env)
        env["SURVEY_MESSAGE_LOG"] = windows_path(scenario.messages)
        self.transcript = open(os.path.join(scenario.work, "gps-client.out"), "w",
                               encoding="utf-8")
        self.lines = queue.Queue()
        # The service started by the library inherits the client's handles,
        # standard output included: this pipe may stay open after the client
        # ends, so nothing here waits for its end.
        self.proc = subprocess.Popen([scenario.wine.wine_run, exe, "stdin"], cwd=scenario.install,
                                     env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=open(os.path.join(scenario.work, "gps-client.err"),
                                                 "wb"))
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.lines.put(line)
            try:
                self.transcript.write(line + "\n")
                self.transcript.flush()
            except ValueError:  # closed by finish(): the rest is not needed
                pass

    def step(self, text, timeout_s=30):
        """Runs one step; returns the words of its answer after the step's name."""
        name = text.split(" ", 1)[0]
        self.transcript.write("> " + text + "\n")
        try:
            self.proc.stdin.write((text + "\n").encode("cp1251"))
            self.proc.stdin.flush()
        except OSError as e:
            raise Failure("the gps.dll client does not take the step %r (%s)" % (text, e))
        deadline = time.monotonic() + timeout_s
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("no answer to the step %r within %d s" % (text, timeout_s))
            try:
                line = self.lines.get(timeout=min(left, 0.5))
            except queue.Empty:
                if self.proc.poll() is not None and self.lines.empty():
                    raise Failure("the gps.dll client ended (%d) at the step %r"
                                  % (self.proc.returncode, text))
                continue
            words = line.split(" ")
            if words[0] == name:
                return words[1:]
            if line.startswith("missing ") or line.startswith("unknown step"):
                raise Failure("gps.dll client: %s" % line)

    def int_step(self, text, timeout_s=30):
        answer = self.step(text, timeout_s)
        check(answer and answer[0].lstrip("-").isdigit(), "%s answers a number (%s)"
              % (text, answer))
        return int(answer[0])

    def values(self):
        answer = self.step("values")
        return {k: float(v) for k, v in (w.split("=", 1) for w in answer if "=" in w)}

    def finish(self, timeout_s=20):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"exit\n")
                self.proc.stdin.close()
            except OSError:
                pass
            try:
                self.proc.wait(timeout=timeout_s)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)
        self.transcript.close()
        return self.proc.returncode

    def cleanup(self):
        if not self.transcript.closed:
            self.finish(10)
        # A service the library started and that did not close: ask it to,
        # then end the processes of this installation's Orvanta.exe by id.
        if service_pids(self.scenario):
            self.scenario.client("close", "10000", timeout=30)
            for pid in service_pids(self.scenario):
                try:
                    os.kill(pid, 9)
                except OSError:
                    pass


def service_pids(scenario):
    """Unix ids of the Wine processes running this scenario's Orvanta.exe."""
    needle = (windows_path(os.path.join(scenario.install, "Orvanta.exe"))).lower().encode()
    pids = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % name, "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").lower()
        except OSError:
            continue
        if needle in cmdline:
            pids.append(int(name))
    return pids


def parse_record(text):
    fields = text.replace("\\n", "").split()
    return fields


def sent_ggas(scenario):
    return [e for e in scenario.truth_events()
            if e.get("event") == "sent" and e.get("type") == "GGA" and e.get("lat") is not None]


def check_day_log(scenario, min_lines):
    today = datetime.datetime.utcnow()
    path = os.path.join(scenario.install, "gps%02d%02d%02d.log" % (today.year % 100, today.month,
                                                                   today.day))
    check(os.path.exists(path), "the day log %s exists" % os.path.basename(path))
    # Text-mode streams: every line ends in CR LF on disk.
    with open(path, "rb") as f:
        data = f.read()
    check(data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n"),
          "day-log lines end in CR LF")
    lines = [line for line in data.split(b"\r\n") if line]
    check(len(lines) >= min_lines, "the day log has at least %d fix lines (%d)" % (min_lines,
                                                                                 len(lines)))
    stamp = b"%02d%02d%02d" % (today.year % 100, today.month, today.day)
    for line in lines:
        head, _, xor_text = line.rpartition(b",")
        xor = 0
        for b in head:
            xor ^= b
        check(xor_text.isdigit() and int(xor_text) == xor,
              "day-log line ends with the XOR of its bytes: %s" % line.decode("latin-1"))
        check(head.startswith(b"$GPGGA,"), "day-log line starts with the GGA sentence")
        sentence, step, date = head.rsplit(b",", 2)
        check(date == stamp, "day-log line carries the UTC date stamp")
        check(b"." in step and len(step.split(b".")[1]) == 2, "step distance has two decimals")
        star = sentence.index(b"*")
        body = sentence[1:star]
        cs = 0
        for b in body:
            cs ^= b
        check(sentence[star + 1:] == b"%02X" % cs, "logged sentence keeps its checksum")
    return lines


# --- scenarios -----------------------------------------------------------------

def connect_and_publish(s, com, sim_baud, gnss_attrs, sats=9):
    s.deploy(gnss_attrs)
    s.clear_com_links()
    s.start_sim(com, sim_baud, ["--sats", str(sats), "--speed", "54"])
    s.start_orvanta()
    record = s.wait_record(lambda t: t.startswith("1 "), 60, "a record with flag 1 is published")
    fields = parse_record(record)
    check(len(fields) == 9, "the record has nine fields")
    check(fields[8] == str(sats), "satellites match the simulator (%s)" % fields[8])
    ggas = sent_ggas(s)
    lat, lon = float(fields[1]), float(fields[2])
    check(any(abs(g["lat"] - lat) < 1e-6 and abs(g["lon"] - lon) < 1e-6 for g in ggas),
          "published position is one the simulator sent (%f, %f)" % (lat, lon))
    check(all(len(f.split(".")[1]) == 12 for f in fields[1:7]), "twelve decimals")
    check(len(fields[7].split(".")[1]) == 3, "fix time with three decimals")
    return record


def scenario_configured(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM,
                                             "широта": 56, "долгота": 37})
    time.sleep(6)
    record = s.record()
    fields = parse_record(record)
    speed = float(fields[6])
    check(abs(speed - 15.0) < 1.5, "speed follows the simulated drive of 54 km/h (%f m/s)" % speed)
    step = float(fields[3])
    check(abs(step - 15.0) < 1.5, "step distance of one second at 15 m/s (%f m)" % step)
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")
    check_day_log(s, 3)
    text = s.config_text()
    check('порт="%d"' % SIM_COM in text and 'скорость="115200"' in text,
          "the configuration keeps the working port and speed")


def scenario_wrong_speed(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 57600, "порт": SIM_COM})
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")
    check('скорость="115200"' in s.config_text(), "the configuration now names 115200 bit/s")


def scenario_missing_port(s):
    # Port 7 is configured but absent: the scan starts at once with the
    # highest port present, where the receiver talks at 57600 bit/s.
    connect_and_publish(s, 4, 57600, {"скорость": 115200, "порт": 7})
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")
    text = s.config_text()
    check('порт="4"' in text and 'скорость="57600"' in text,
          "the configuration now names COM4 at 57600 bit/s")


def scenario_no_receiver(s):
    s.deploy({"скорость": 115200, "порт": 1})
    s.clear_com_links()
    s.start_orvanta()
    deadline = time.monotonic() + 40
    while time.monotonic() < deadline and not s.message_lines():
        time.sleep(0.3)
    check(s.has_message("Не удается подключить GPS-приемник"), "no receiver at start is reported")
    if s.has_winprobe():
        table, _ = s.controls()
        check(table.get(1005, ["", ""])[1] == "COM?", "the port indicator reads COM?")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


def scenario_silent(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM})
    s.sim_command("silent")
    s.wait_record(lambda t: t == "0\\n", 15, "a silent receiver turns the record into 0\\n")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and not s.has_message("GPS-приёмник отключен"):
        time.sleep(0.3)
    check(s.has_message("GPS-приёмник отключен"), "the loss is reported to the operator")
    # The service does not reconnect by itself when the receiver talks again.
    s.sim_command("talk")
    time.sleep(3)
    check(s.record() == "0\\n", "no automatic reconnection")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE after the loss")


def scenario_window(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM})
    time.sleep(5)
    table, out = s.controls()
    with open(os.path.join(s.work, "controls.txt"), "w", encoding="utf-8") as f:
        f.write(out)

    def text(i):
        return table.get(i, ["", ""])[1] if len(table.get(i, [])) > 1 else ""

    def face(i):
        row = table.get(i, [])
        return row[2].strip().lower() if len(row) > 2 else ""

    check(text(1005) == "COM%d" % SIM_COM, "port indicator shows COM%d" % SIM_COM)
    check(face(1005) == "0x00ff00", "port indicator is green")
    check(text(1004).startswith("Спут 9") or text(1004).startswith("Спут "),
          "satellite indicator text %r" % text(1004))
    check(face(1004) == "0x00ff00", "satellite indicator is green")
    check(text(1009).endswith(" км/ч"), "speed shown in km/h (%r)" % text(1009))
    check(text(1012).endswith(" м/с2"), "acceleration shown (%r)" % text(1012))
    check(text(1000) == "Путь" and face(1000) == "0xffaa88", "label Путь in light blue")
    check(text(1017) == "Информация", "information field keeps its caption")
    rc, title = s.probe("wait", "--title-prefix", "Orvanta v")
    check(title.strip().startswith("Orvanta v1.4.2.17"), "title with the version (%r)" %
          title.strip())
    display = s.wine.display()
    shot = os.path.join(s.args.work, "orvanta-window.png")
    if display and shutil.which("import"):
        subprocess.run(["import", "-display", display, "-window", "root", shot], timeout=30,
                       stdin=subprocess.DEVNULL)
        check(os.path.exists(shot), "screenshot saved to %s" % shot)
    # The about item of the system menu.
    s.client("about")
    rc, _ = s.probe("wait", "--title", "О проекте Orvanta", "--timeout", "10000")
    check(rc == 0, "the about box opens")
    rc, out = s.probe("text", "--title", "О проекте Orvanta", "--id", "1100")
    check(out.strip() == "Orvanta, Version 1.4.2.17", "the about box names the version (%r)"
          % out.strip())
    s.probe("close", "--title", "О проекте Orvanta", "--wait-gone", "--timeout", "10000")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


def scenario_rescan(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM})
    # A second port without a receiver, so the list has two lines.
    dos = os.path.join(s.args.prefix, "dosdevices")
    os.symlink("/dev/null", os.path.join(dos, "com2"))
    rc, _ = s.probe("click", "--title-prefix", "Orvanta v", "--id", "1005")
    check(rc == 0, "the port indicator is pressed")
    time.sleep(3)  # the reader finishes its cycle first
    table, _ = s.controls()
    rc, out = s.client("choose-port", "1")
    check(rc == 0, "the operator chooses the second line (COM%d)" % SIM_COM)
    record = s.wait_record(lambda t: t.startswith("0 0.0 0.0 0.0 0.0 0.0 0.0 "), 5,
                           "choosing a port publishes the port-change record")
    check(record.endswith(" 0"), "the port-change record ends with 0 satellites")
    s.wait_record(lambda t: t.startswith("1 "), 30, "the chosen port delivers fixes again")
    table, _ = s.controls()
    check(table.get(1005, ["", ""])[1] == "COM%d" % SIM_COM, "port indicator shows the port")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


def scenario_clock_check(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM})
    rc, _ = s.client("sync-write", "-1")
    check(rc == 0, "a client asks for a clock check")
    time.sleep(1)
    rc, out = s.client("sync")
    check(out.strip() == "0", "the request is taken and acknowledged with 0 (%r)" % out.strip())
    # The simulator runs on this computer's clock: the check finds agreement
    # after five qualifying seconds.
    log = os.path.join(s.install, "gnssLog.log")
    deadline = time.monotonic() + 25
    text = ""
    while time.monotonic() < deadline and "Синхронность проверена" not in text:
        time.sleep(0.5)
        if os.path.exists(log):
            text = open(log, "rb").read().decode("cp1251")
    check("Синхронность проверена" in text, "the event log confirms the clock (%r)" % text)
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


def scenario_data_gap(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM})
    s.sim_command("sats 3")  # fixes with three satellites are no fixes
    time.sleep(5)
    table, _ = s.controls()
    for i in (1003, 1009, 1010, 1012):
        check(table.get(i, ["", "", ""])[2].strip().lower() == "0x00ffff",
              "field %d turns yellow without fresh fixes" % i)
    check(table.get(1004, ["", "", ""])[2].strip().lower() == "0x0000ff",
          "satellite indicator turns red with 3 satellites")
    log = os.path.join(s.install, "gnssLog.log")
    deadline = time.monotonic() + 40
    text = ""
    while time.monotonic() < deadline and "путь обнулен" not in text:
        time.sleep(1)
        if os.path.exists(log):
            text = open(log, "rb").read().decode("cp1251")
    check("UTC Нет данных > 30c, путь обнулен" in text, "the data gap goes to the event log")
    table, _ = s.controls()
    check(table.get(1003, ["", ""])[1] == "0 м", "the trip is reset")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


def scenario_run_log(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM})
    runs = os.path.join(s.work, "runs")
    os.makedirs(runs)
    rc, _ = s.client("log-write", "1 " + windows_path(runs))
    check(rc == 0, "client writes the start command")
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline and not os.listdir(runs):
        time.sleep(0.2)
    files = os.listdir(runs)
    check(len(files) == 1 and files[0].endswith("gps.log") and len(files[0]) == 19,
          "a run log yymmddhhmmssgps.log is opened (%s)" % files)
    rc, out = s.client("log")
    check(out.strip() == "0\\n", "the command is acknowledged with 0\\n")
    time.sleep(3)
    # Continue twice: each reopening must replace the open stream.
    for _ in range(2):
        s.client("log-write", "2")
        time.sleep(0.5)
    time.sleep(2)
    s.client("log-write", "1")
    time.sleep(1)
    with open(os.path.join(runs, files[0]), "rb") as f:
        lines = [line for line in f.read().split(b"\r\n") if line]
    check(len(lines) >= 3, "the run log got fix lines (%d)" % len(lines))
    check('локальный_файл=""' in s.config_text(), "stopping clears the stored run-log path")
    # A folder that does not exist: no file, but the path is stored all the same.
    missing = os.path.join(s.work, "missing")
    s.client("log-write", "1 " + windows_path(missing))
    time.sleep(1.5)
    rc, out = s.client("log")
    check(out.strip() == "0\\n", "the command is acknowledged")
    check(not os.path.exists(missing), "no folder or file is created")
    check(windows_path(missing) + "\\" in s.config_text(), "the path is stored all the same")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


# --- gps.dll against the service ---------------------------------------------

METRES_PER_DEGREE = 111195.0  # on the simulator's sphere (radius 6371008.8 m)
CLOCK_AGREES = "Синхронность проверена"


def event_log_text(s):
    path = os.path.join(s.install, "gnssLog.log")
    try:
        with open(path, "rb") as f:
            return f.read().decode("cp1251", "replace")
    except OSError:
        return ""


def wait_for(predicate, timeout_s, interval_s=0.3):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(interval_s)
    return predicate()


def start_service_through_library(s):
    """Deploys the service, gps.dll and its client into one folder and lets
    _InitGPSDefault start the service; returns the client once it reads a fix."""
    check(bool(s.args.gps_dll) and os.path.exists(s.args.gps_dll), "gps.dll is built")
    check(bool(s.args.gps_client) and os.path.exists(s.args.gps_client),
          "the client of gps.dll is built")
    s.deploy({"скорость": 115200, "порт": SIM_COM})
    shutil.copy(s.args.gps_client, s.install)
    check(not service_pids(s), "no Orvanta.exe of this installation runs yet")
    s.clear_com_links()
    s.start_sim(SIM_COM, 115200, ["--sats", "9", "--speed", "54"])
    c = s.gps_client = GpsDllClient(s)
    check(c.int_step("connected") == 10, "_GPSConnected reports 10 while no service runs")
    # Two 1 s pauses, the service's start and its named objects: well below
    # the library's own 50 s limit per object.
    answer = c.step("init", 120)
    result = int(answer[0])
    check(result in (0, 1), "_InitGPSDefault connects to the service it started (%d after %s ms)"
          % (result, answer[1]))
    check(not any("Ошибка!" in line for line in s.message_lines()),
          "the library shows no error box (%s)" % s.message_lines())
    check(wait_for(lambda: service_pids(s), 10),
          "Orvanta.exe runs from the library's folder")
    answer = c.step("wait-update 1:60000", 90)
    check(answer[0] == "1" and answer[1] != "timeout", "_UpdateGPS reads 1 once the service "
          "has a fix (%s)" % answer)
    check(c.int_step("connected") == 1, "_GPSConnected finds the service and reads 1")
    if s.has_winprobe():
        rc, out = s.probe("wait", "--title-prefix", "Orvanta v", "--timeout", "10000")
        check(rc == 0, "the service's window is open (%s)" % out.strip())
        rc, out = s.probe("list", "--title-prefix", "Orvanta v")
        check(any(line.strip() and not line.endswith("\thidden") for line in out.splitlines()),
              "and shown (%r)" % out)
    today = datetime.datetime.utcnow()
    day_log = os.path.join(s.install, "gps%02d%02d%02d.log" % (today.year % 100, today.month,
                                                               today.day))
    check(os.path.exists(day_log), "the service keeps its day log in the library's folder")
    return c


def close_service_through_client(s, c):
    rc, out = s.client("close", "20000", timeout=40)
    check(rc == 0, "Orvanta closes on WM_CLOSE (%s)" % out.strip())
    check(wait_for(lambda: c.int_step("connected") == 10, 15, 0.5),
          "_GPSConnected reports 10 once the service has ended")
    check(wait_for(lambda: not service_pids(s), 10), "no Orvanta.exe process is left")
    check(c.finish() == 0, "the client of gps.dll ends cleanly")


def check_values_against_truth(s, v):
    ggas = sent_ggas(s)
    match = [g for g in ggas if abs(g["lat"] - v["lat"]) < 1e-6 and abs(g["lon"] - v["lon"]) < 1e-6]
    check(bool(match), "_GetGPSLat/_GetGPSLong give a position the simulator sent (%.7f, %.7f)"
          % (v["lat"], v["lon"]))
    gga = match[-1]
    check(abs(gga["time"] - v["time"]) < 0.0015,
          "_GetGPSTime gives that fix's time (%.3f, sent %.3f)" % (v["time"], gga["time"]))
    check(int(v["sats"]) == gga["sats"] == 9, "_GetSatNumber gives the satellites (%d)"
          % v["sats"])
    check(abs(v["speed"] - 15.0) < 1.5, "_GetGPSCurSpeed follows the drive at 54 km/h (%.3f m/s)"
          % v["speed"])
    check(abs(v["dist"] - 15.0) < 1.5, "_GetGPSCurDist is one second of the drive (%.3f m)"
          % v["dist"])
    north = v["latspeed"] * METRES_PER_DEGREE
    east = v["lonspeed"] * METRES_PER_DEGREE * math.cos(math.radians(v["lat"]))
    step = math.hypot(north, east)
    check(abs(step - v["dist"]) < 0.02 * v["dist"] + 0.1,
          "_GetGPSLatSpeed/_GetGPSLonSpeed make up that step (%.3f m)" % step)
    check(v["x"] == 0.0 and v["y"] == 0.0 and v["heading"] == 0.0,
          "_GetGPSX, _GetGPSY and _GetGPSHeading stay 0")


def run_log_lines(path):
    with open(path, "rb") as f:
        return [line for line in f.read().split(b"\r\n") if line]


def scenario_gps_dll(s):
    c = start_service_through_library(s)
    # The drive reaches its speed after the first fixes.
    time.sleep(4)
    check(c.int_step("update") == 1, "_UpdateGPS reads 1")
    check_values_against_truth(s, c.values())

    # The initialisation asked for a clock check; fixes are logged once it is done.
    check(wait_for(lambda: CLOCK_AGREES in event_log_text(s), 30),
          "the clock check asked for by _InitGPSDefault is done (%r)" % event_log_text(s))

    runs = os.path.join(s.work, "runs")
    os.makedirs(runs)
    c.step("log 1 " + windows_path(runs))
    check(wait_for(lambda: os.listdir(runs), 5, 0.1), "_SetLogFolder(\"1 <folder>\") opens a "
          "run log there")
    files = os.listdir(runs)
    name = files[0]
    check(len(files) == 1 and len(name) == 19 and name[:12].isdigit() and name.endswith("gps.log"),
          "the run log is named yymmddhhmmssgps.log (%s)" % files)
    stamp = datetime.datetime.strptime(name[:12], "%y%m%d%H%M%S")
    check(abs((datetime.datetime.utcnow() - stamp).total_seconds()) < 30,
          "its name carries the UTC time it was opened")
    rc, out = s.client("log")
    check(out.strip() == "0\\n", "the service acknowledges the command with 0\\n (%r)" % out)
    path = os.path.join(runs, name)
    check(wait_for(lambda: len(run_log_lines(path)) >= 3, 10),
          "fixes are written into the run log (%d lines)" % len(run_log_lines(path)))
    for line in run_log_lines(path):
        head, _, xor_text = line.rpartition(b",")
        xor = 0
        for b in head:
            xor ^= b
        check(head.startswith(b"$GPGGA,") and xor_text.isdigit() and int(xor_text) == xor,
              "run-log line is a fix line: %s" % line.decode("latin-1"))
    c.step("log 1")
    time.sleep(1)
    rc, out = s.client("log")
    check(out.strip() == "0\\n", "the stop command is acknowledged (%r)" % out)
    size = os.path.getsize(path)
    time.sleep(3)
    check(os.path.getsize(path) == size, "_SetLogFolder(\"1\") stops the run log")
    check('локальный_файл=""' in s.config_text(), "and clears the stored run-log path")

    # An explicit clock-check request.
    before = event_log_text(s).count(CLOCK_AGREES)
    answer = c.step("synchro-ack 3000", 20)
    check(answer[-1] != "timeout" and answer[1] == "0",
          "the service answers _Synchro: the request block reads 0 again (%s)" % answer)
    check(wait_for(lambda: event_log_text(s).count(CLOCK_AGREES) > before, 30),
          "the event log confirms the clock again")
    rc, out = s.client("sync")
    check(out.strip() == "0", "the request block stays answered (%r)" % out.strip())

    # A program started while the service runs finds it and starts no second one.
    pids = service_pids(s)
    answer = c.step("init", 60)
    check(answer[0] == "1" and 1900 <= int(answer[1]) < 5000,
          "_InitGPSDefault with the service running reads 1 after about 2 s (%s ms)" % answer[1])
    check(service_pids(s) == pids, "and starts no second service")

    check(c.int_step("quit") == 1, "_QuitGPS returns 1")
    check(c.int_step("update") == 1, "and the service goes on")
    c.step("unmap")
    check(c.int_step("update") == 0, "_UpdateGPS reads 0 after _UnMap")
    close_service_through_client(s, c)


def scenario_gps_dll_silent(s):
    c = start_service_through_library(s)
    time.sleep(3)  # under way, so the step and the changes are not 0
    check(c.int_step("update") == 1, "_UpdateGPS reads 1")
    before = c.values()
    check(before["dist"] > 1.0 and before["sats"] == 9, "a step and 9 satellites before the loss")
    s.sim_command("silent")
    answer = c.step("wait-update 0:15000", 30)
    check(answer[0] == "0" and answer[1] != "timeout",
          "_UpdateGPS reads 0 once the receiver is silent (%s)" % answer)
    check(s.record() == "0\\n", "the service's record reads 0\\n")
    after = c.values()
    check(after["sats"] == 0 and after["dist"] == 0 and after["latspeed"] == 0 and
          after["lonspeed"] == 0, "satellites, distance and changes read 0")
    last = [g for g in sent_ggas(s) if abs(g["lat"] - after["lat"]) < 1e-6 and
            abs(g["lon"] - after["lon"]) < 1e-6 and abs(g["time"] - after["time"]) < 0.0015]
    check(bool(last) and after["speed"] > 1.0,
          "position, time and speed keep the last fix's values (%.7f, %.7f, %.3f)"
          % (after["lat"], after["lon"], after["time"]))
    check(wait_for(lambda: s.has_message("GPS-приёмник отключен"), 10),
          "the service reports the loss (%s)" % s.message_lines())
    # Without a receiver the service takes no clock-check request; the
    # client can withdraw it.
    c.step("synchro")
    answer = c.step("sync-stays 1500", 20)
    check(answer[0] == "-1" and int(answer[1]) >= 1400,
          "a request stays unanswered while the receiver is lost (%s)" % answer)
    c.step("nosynchro")
    answer = c.step("sync-state")
    check(answer[0] == "0", "_NoSynchro withdraws it (%s)" % answer)
    close_service_through_client(s, c)


SCENARIOS = {
    "configured": scenario_configured,
    "wrong-speed": scenario_wrong_speed,
    "missing-port": scenario_missing_port,
    "no-receiver": scenario_no_receiver,
    "silent": scenario_silent,
    "window": scenario_window,
    "run-log": scenario_run_log,
    "rescan": scenario_rescan,
    "clock-check": scenario_clock_check,
    "data-gap": scenario_data_gap,
    "gps-dll": scenario_gps_dll,
    "gps-dll-silent": scenario_gps_dll_silent,
}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--scenario", choices=sorted(SCENARIOS))
    p.add_argument("--source-dir", required=True)
    p.add_argument("--build-dir")
    p.add_argument("--orvanta")
    p.add_argument("--client")
    p.add_argument("--winprobe")
    p.add_argument("--gps-dll")
    p.add_argument("--gps-client")
    p.add_argument("--rvupdate")
    p.add_argument("--ptyshim")
    p.add_argument("--prefix")
    p.add_argument("--work")
    p.add_argument("--start-prefix", action="store_true")
    p.add_argument("--stop-prefix", action="store_true")
    args = p.parse_args()
    if args.prefix is None:
        args.prefix = os.path.join(args.build_dir, "e2e-orvanta", "wineprefix")
    if args.work is None:
        args.work = os.path.join(args.build_dir, "e2e-orvanta")
    wine = Wine(args)
    if args.stop_prefix:
        wine.stop()
        return 0
    if args.start_prefix:
        os.makedirs(os.path.dirname(args.prefix), exist_ok=True)
        wine.start()
        return 0
    s = Scenario(args, wine)
    try:
        SCENARIOS[args.scenario](s)
    except Failure as e:
        print("FAILED:", e, flush=True)
        print("messages:", s.message_lines(), flush=True)
        return 1
    finally:
        s.cleanup()
    print("scenario %s passed" % args.scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
