"""Shared pieces of the end-to-end checks of Orvanta.exe: one scenario's
installation, simulator and service, and the checks of what the service
publishes and logs. The private Wine prefix comes from sim/e2e_wine.py."""

import datetime
import math
import os
import queue
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim"))
from e2e_wine import (Failure, Simulator, Wine, check, config_text, json_lines,  # noqa: E402,F401
                      utc_time, windows_path)

SIM_COM = 5  # the port the simulator is mapped to in most scenarios


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
        self.sim = Simulator(self.work, "sim", "simulator")
        self.gps_client = None
        self.orvanta = None
        self.orvanta_log = None
        self.prefix_links = []
        self.started_at = None  # Unix time just before Orvanta.exe was started

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
        self.sim.start([os.path.join(self.args.source_dir, "sim", "nmea_sim.py"),
                        "--wine-com", str(com), "--baud", str(baud), "--truth", self.truth,
                        "--duration", "300"] + list(extra),
                       lambda: any(e.get("event") == "ready" for e in self.truth_events()),
                       env=self.wine.env)

    def truth_events(self):
        return json_lines(self.truth)

    def start_orvanta(self):
        self.note_start()
        self.orvanta_log = open(os.path.join(self.work, "orvanta.out"), "wb")
        self.orvanta = self.wine.spawn([os.path.join(self.install, "Orvanta.exe")],
                                       env={"SURVEY_MESSAGE_LOG": windows_path(self.messages)},
                                       log=self.orvanta_log)

    def note_start(self):
        """Notes when the service is being started, and in which zone."""
        self.started_at = time.time()
        local = self.wine.local_time(self.started_at)
        utc = utc_time(self.started_at)
        print("zone %s: local %s, UTC %s" % (local.tzinfo, local.strftime("%Y-%m-%d %H:%M:%S"),
                                            utc.strftime("%Y-%m-%d %H:%M:%S")), flush=True)

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

    def visible(self, control_id):
        """"1" when the control is shown, "0" when hidden, None when not found."""
        rc, out = self.probe("visible", "--title-prefix", "Orvanta v", "--id", str(control_id),
                             "--timeout", "15000")
        return out.strip() if rc == 0 else None

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
        return config_text(self.config_path())

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

    def cleanup(self):
        try:
            if self.gps_client is not None:
                self.gps_client.cleanup()
                self.gps_client = None
            self.close_orvanta()
        finally:
            self.sim.stop()
            self.clear_com_links()



def parse_record(text):
    fields = text.replace("\\n", "").split()
    return fields


def sent_ggas(scenario):
    return [e for e in scenario.truth_events()
            if e.get("event") == "sent" and e.get("type") == "GGA" and e.get("lat") is not None]


def yymmdd(t):
    return "%02d%02d%02d" % (t.year % 100, t.month, t.day)


# How long after it was spawned the service opens its day log at most (s).
START_BOUND_S = 60


def day_log_path(scenario):
    """The day log: named after the local date at the service's start."""
    t0 = scenario.started_at
    names = {"gps%s.log" % yymmdd(scenario.wine.local_time(t)) for t in (t0, t0 + START_BOUND_S)}
    found = [n for n in sorted(names) if os.path.exists(os.path.join(scenario.install, n))]
    check(len(found) == 1, "one day log named after the local start date: %s (of %s)"
          % (found, sorted(names)))
    return os.path.join(scenario.install, found[0])


def utc_dates_since(unix_time):
    """yymmdd of every UTC date from unix_time until now."""
    now = time.time()
    return {yymmdd(utc_time(t)) for t in list(range(int(unix_time), int(now), 3600)) + [now]}


def check_day_log(scenario, min_lines):
    path = day_log_path(scenario)
    stamps = {s.encode() for s in utc_dates_since(scenario.started_at)}
    # Text-mode streams: every line ends in CR LF on disk.
    with open(path, "rb") as f:
        data = f.read()
    check(data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n"),
          "day-log lines end in CR LF")
    lines = [line for line in data.split(b"\r\n") if line]
    check(len(lines) >= min_lines, "the day log has at least %d fix lines (%d)" % (min_lines,
                                                                                 len(lines)))
    for line in lines:
        head, _, xor_text = line.rpartition(b",")
        xor = 0
        for b in head:
            xor ^= b
        check(xor_text.isdigit() and int(xor_text) == xor,
              "day-log line ends with the XOR of its bytes: %s" % line.decode("latin-1"))
        check(head.startswith(b"$GPGGA,"), "day-log line starts with the GGA sentence")
        sentence, step, date = head.rsplit(b",", 2)
        check(date in stamps, "day-log line carries the UTC date stamp (%s, UTC %s)"
              % (date.decode(), b"/".join(sorted(stamps)).decode()))
        check(b"." in step and len(step.split(b".")[1]) == 2, "step distance has two decimals")
        star = sentence.index(b"*")
        body = sentence[1:star]
        cs = 0
        for b in body:
            cs ^= b
        check(sentence[star + 1:] == b"%02X" % cs, "logged sentence keeps its checksum")
    return lines


# --- scenarios -----------------------------------------------------------------

def connect_and_publish(s, com, sim_baud, gnss_attrs, sats=9, sim_args=()):
    s.deploy(gnss_attrs)
    s.clear_com_links()
    s.start_sim(com, sim_baud, ["--sats", str(sats), "--speed", "54"] + list(sim_args))
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

