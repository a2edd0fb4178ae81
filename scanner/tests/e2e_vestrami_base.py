"""Shared pieces of the end-to-end checks of Vestrami.exe under Wine: one
scenario's installation (the programs and a Tuvarnex.xml vehicle description),
the scanner simulator, the service, the recorder and winprobe, and the checks
of what the service logs against what the simulator sent. The private Wine
prefix comes from sim/e2e_wine.py."""

import array
import datetime
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim"))
from e2e_wine import (Failure, MessageLog, Simulator, Wine, WinProbe, check,  # noqa: E402,F401
                      config_text, hold_name, utc_time, windows_path)

# The simulated scanners listen on loopback addresses of their own, so that
# the demo or a scanner simulator started by hand on 127.0.0.2/.3 cannot meet
# these tests. Nothing listens on UNUSED_ADDRESS.
ADDRESSES = ("127.0.8.2", "127.0.8.3")
UNUSED_ADDRESS = "127.0.8.9"
PORT = 2111
MAIN_TITLE = "Vestrami v"
SETTINGS_TITLE = "Установки сканеров"

STATUS_BLOCK = ("MyScanFileMappingObject", "MyScanBufferMutex", "16")
COMMAND_BLOCK = ("MyScanCommandMappingObject", "MyScanCommandMutex", "262")

# The service's clearance alarm: more than 15 x 10 mm between two scans at a
# point where both see something farther than 1 mm.
ALARM_THRESHOLD = 15 * 10
ALARM_MIN_DISTANCE = 1
MIN_SECTOR_WIDTH = 0.1

# Bounds of the waits (s).
START_BOUND_S = 90
ANSWER_BOUND_MS = 5000

# Device status: the second word's error bit makes a failed scan; a dirty
# front screen (contamination warning 2, contamination error 4) does not.
STATUS_FAILED_BITS = 0x1
# The main window's line about dirty front screens, under the scanner choice.
CONTAMINATION_NOTE = 1036

LINE_HEAD = re.compile(rb"^(\d{2})(\d{2})(\d{2}) (\d{2})(\d{2})(\d{2})\.(\d{3}) ")
FLOAT6 = re.compile(r"^-?\d+\.\d{6}$")


def f32(x):
    """x rounded to single precision, as the service keeps its angles."""
    return struct.unpack("f", struct.pack("f", x))[0]


# --- the vehicle description ------------------------------------------------------

def scanner_item(address, rotation=0.0, sector=(-10.0, 10.0), connected=0, model_id=3,
                 zero=1390, type_name="сканер"):
    return {"тип": type_name, "IP": address, "ID_модели": model_id, "подключен": connected,
            "угол_поворота_в_поперечной_плоскости_в_град": rotation,
            "начальный_угол_верхнего_габарита": sector[0],
            "конечный_угол_верхнего_габарита": sector[1],
            "инклинометр___напряжение_нулевого_уклона_в_мВ": zero}


def default_items(rotations=(0.0, 10.0), addresses=ADDRESSES, connected=(0, 1)):
    """Two scanners of the vehicle with an item of another kind between them."""
    return [scanner_item(addresses[0], rotations[0], connected=connected[0]),
            {"тип": "ГНСС", "IP": "127.0.8.7"},
            scanner_item(addresses[1], rotations[1], connected=connected[1], type_name="Сканер")]


def vehicle_xml(items, base_distance=1600, vehicle=0):
    def attrs(d):
        return " ".join('%s="%s"' % (k, v) for k, v in d.items())

    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<CONFIGURATION>",
             '\t<Работа %s/>' % attrs({"индекс_автомобиля": vehicle,
                                       "базовое_расстояние_от_сканера_до_дороги_в_мм":
                                       base_distance}),
             "\t<Авто%d>" % vehicle]
    for k, item in enumerate(items):
        lines.append("\t\t<Изделие%d %s/>" % (k, attrs(item)))
    lines.append("\t</Авто%d>" % vehicle)
    # The first model is not the scanners' one: the walk goes on to the second.
    lines.append('\t<Модель0 ID="1" шаг_сканирования_в_град="0.5"/>')
    lines.append('\t<Модель1 ID="3" шаг_сканирования_в_град="0.25" '
                 'инклинометр-шкала_в_мВ_на_градус="400"/>')
    lines.append("</CONFIGURATION>")
    return "\n".join(lines) + "\n"


def xml_attributes(text, element):
    """{name: value} of the first element `element` of the configuration text."""
    m = re.search(r"<%s\b([^>]*)/?>" % re.escape(element), text)
    if not m:
        raise Failure("no element %s in the configuration" % element)
    return dict(re.findall(r'([^\s=]+)="([^"]*)"', m.group(1)))


# --- what the simulator sent ------------------------------------------------------------

class Scan:
    """One scan the simulator sent, with its values kept compactly."""

    __slots__ = ("scanner", "seq", "t", "t_request", "utc", "layout", "status", "count", "bits",
                 "values", "distances", "obstacle", "obstacle_mm", "bring_up")

    def __init__(self, e, bring_up):
        self.scanner = e["scanner"]
        self.seq = e["seq"]
        self.t = e["t"]
        self.t_request = e.get("t_request", e["t"])
        self.utc = datetime.datetime.strptime(e["utc"], "%Y-%m-%dT%H:%M:%S.%fZ").replace(
            tzinfo=datetime.timezone.utc)
        self.layout = e.get("layout")
        self.status = tuple(e.get("status") or (0, 0))
        self.count = e.get("remission_points", 0)
        self.bits = e.get("remission_bits", 0)
        # As the service logs a scan: the remission count's worth of distances,
        # then the remission values.
        n = self.count
        self.values = array.array("l", e["distances"][:n] + e["remissions"][:n]).tobytes()
        self.distances = array.array("l", e["distances"])
        self.obstacle = e.get("obstacle")
        self.obstacle_mm = e.get("obstacle_mm")
        self.bring_up = bring_up

    def service_good(self):
        """Whether the service takes this scan as good."""
        return self.status[0] == 0 and (self.status[1] & STATUS_FAILED_BITS) == 0 and self.count > 0


class Truth:
    """The simulator's record, read as it grows."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.partial = b""
        self.events = []  # everything but the scans
        self.scans = {0: [], 1: []}
        self.by_values = {}  # (scanner, values) -> [Scan]
        self._fresh_connection = {0: False, 1: False}

    def update(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except OSError:
            return self
        self.offset += len(data)
        lines = (self.partial + data).split(b"\n")
        self.partial = lines.pop()
        for line in lines:
            if not line.strip():
                continue
            e = json.loads(line)
            kind = e.get("event")
            if kind == "scan":
                k = e["scanner"]
                scan = Scan(e, self._fresh_connection[k])
                self._fresh_connection[k] = False
                self.scans[k].append(scan)
                self.by_values.setdefault((k, scan.values), []).append(scan)
                continue
            if kind == "connect":
                self._fresh_connection[e["scanner"]] = True
            self.events.append(e)
        return self

    def ready(self):
        return next((e for e in self.events if e.get("event") == "ready"), None)

    def received(self, scanner, since=0.0):
        return [e["text"] for e in self.events if e.get("event") == "received" and
                e["scanner"] == scanner and e["t"] >= since]

    def of(self, kind, scanner=None, since=0.0):
        return [e for e in self.events if e.get("event") == kind and e["t"] >= since and
                (scanner is None or e.get("scanner") == scanner)]

    def scans_since(self, scanner, t):
        return [s for s in self.scans[scanner] if s.t >= t]


# --- the scanner logs ---------------------------------------------------------------------

class LogLine:
    def __init__(self, raw, number):
        self.raw = raw
        self.number = number
        m = LINE_HEAD.match(raw)
        if not m:
            raise Failure("log line %d does not start with 'yymmdd hhmmss.mmm ': %r"
                          % (number, raw[:40]))
        yy, mo, dd, hh, mi, ss, ms = (int(g) for g in m.groups())
        try:
            self.stamp = datetime.datetime(2000 + yy, mo, dd, hh, mi, ss, ms * 1000,
                                           tzinfo=datetime.timezone.utc)
        except ValueError:
            raise Failure("log line %d has no valid stamp: %r" % (number, raw[:20]))
        tokens = raw[m.end():].decode("ascii").split(" ")
        if not tokens or not tokens[0].isdigit():
            raise Failure("log line %d: no point count" % number)
        n = int(tokens[0])
        self.count = n
        if len(tokens) != 1 + 2 * n + 5:
            raise Failure("log line %d: %d fields after the stamp, %d expected for %d points "
                          "with three values" % (number, len(tokens), 1 + 2 * n + 5, n))
        values = tokens[1:1 + 2 * n]
        for v in values:
            if not v.isdigit() or str(int(v)) != v:
                raise Failure("log line %d: value %r is not written with %%d" % (number, v))
        self.values = array.array("l", (int(v) for v in values)).tobytes()
        self.command_texts = tokens[1 + 2 * n:1 + 2 * n + 3]
        for v in self.command_texts:
            if not FLOAT6.match(v):
                raise Failure("log line %d: command value %r is not written with %%.6f"
                              % (number, v))
        self.command_values = [float(v) for v in self.command_texts]
        mark, reply_ms = tokens[-2], tokens[-1]
        if mark not in ("0", "1"):
            raise Failure("log line %d: event mark %r" % (number, mark))
        self.mark = int(mark)
        if not reply_ms.isdigit():
            raise Failure("log line %d: reply time %r" % (number, reply_ms))
        self.reply_ms = int(reply_ms)
        self.scan = None


def read_log(path):
    """The lines of a scanner log; its lines must end in CR LF (a text-mode file)."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        data = f.read()
    if not data:
        return []
    check(data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n"),
          "every line of %s ends in CR LF" % os.path.basename(path))
    return [LogLine(raw, i + 1) for i, raw in enumerate(data.split(b"\r\n")[:-1])]


def match_log(truth, scanner, lines, what, require_good=True):
    """Matches every line to a scan the simulator sent: the same values, value
    for value; in order (each line a later scan than the one before); the
    stamp the UTC time of the trigger, shortly before the simulator got the
    poll; the reply times as far apart as the replies were."""
    truth.update()
    last = None
    for line in lines:
        candidates = truth.by_values.get((scanner, line.values), [])
        later = [s for s in candidates if last is None or s.seq > last.scan.seq]
        if not later:
            raise Failure("%s line %d (%d points) matches no scan scanner %d sent%s"
                          % (what, line.number, line.count, scanner,
                             " after scan %d" % last.scan.seq if last and candidates else ""))
        # The scan polled right after the stamp.
        scan = min(later, key=lambda s: abs((s.utc - line.stamp).total_seconds()))
        lag = (scan.utc - line.stamp).total_seconds()
        if not -0.05 <= lag <= 2.0:
            raise Failure("%s line %d: stamp %s is not the UTC time of the poll of scan %d (%s)"
                          % (what, line.number, line.stamp.strftime("%H:%M:%S.%f")[:-3],
                             scan.seq, scan.utc.strftime("%H:%M:%S.%f")[:-3]))
        if require_good and not scan.service_good():
            raise Failure("%s line %d is scan %d, whose status %s fails it"
                          % (what, line.number, scan.seq, scan.status))
        if last is not None:
            apart_ms = (scan.t - last.scan.t) * 1000.0
            if line.reply_ms < last.reply_ms or abs(line.reply_ms - last.reply_ms - apart_ms) > 500:
                raise Failure("%s line %d: reply time %d ms after %d ms, the replies were %.0f ms "
                              "apart" % (what, line.number, line.reply_ms, last.reply_ms,
                                         apart_ms))
        line.scan = scan
        last = line
    return lines


def check_log(truth, scanner, path, what, expected_values=None, require_good=True):
    """Reads and matches one log; `expected_values`: the command values of each line."""
    lines = match_log(truth, scanner, read_log(path), what, require_good)
    if expected_values is not None:
        got = [line.command_texts for line in lines]
        want = [["%.6f" % v for v in values] for values in expected_values]
        check(got == want, "%s: lines carry the command values %s (%s)"
              % (what, want, got))
    print("ok: %s: %d lines, each a scan scanner %d sent, value for value, with its UTC stamp"
          % (what, len(lines), scanner), flush=True)
    return lines


# --- the clearance alarm, from the simulator's scans ----------------------------------------

def sector_window(distances, count, rotation, start, end, step):
    """The sector the service compares, with its own arithmetic."""
    width = f32(f32(end) - f32(start))
    if not width > MIN_SECTOR_WIDTH:
        return None
    n = min(int(f32(width / f32(step))), 1440)
    first = int((f32(rotation) + (90.0 - f32(end))) / f32(step))
    window = [0] * n
    for i in range(n):
        if first + i >= count:
            break
        if first + i >= 0:
            window[i] = distances[first + i]
    return window


# A reply that went out this long after its poll may have come after the
# service stopped waiting for it (s).
LATE_REPLY_S = 0.09


def late_scans(scans):
    return {s.seq for s in scans if s.t - s.t_request > LATE_REPLY_S}


def expected_alarms(scans, rotation, sector, step=0.25, missed=()):
    """The scans that raise the alarm when every good scan is checked: a change
    of more than the threshold at a point where this scan and the previous
    checked one both see something. The bring-up scan of a connection is not
    checked, and a new connection starts from an empty sector. `missed`: scan
    numbers the service did not get in time (failed reads)."""
    previous = None
    alarms = []
    for s in scans:
        if s.bring_up:
            previous = None
            continue
        if not s.service_good() or s.seq in missed:
            continue
        window = sector_window(s.distances, s.count, rotation, sector[0], sector[1], step)
        if window is None:
            continue
        if previous is not None and any(
                w > ALARM_MIN_DISTANCE and p > ALARM_MIN_DISTANCE and abs(w - p) > ALARM_THRESHOLD
                for w, p in zip(window, previous)):
            alarms.append(s)
        previous = window
    return alarms


# The scene of most scenarios: scanner 0 accepts the first output
# configuration, scanner 1 refuses it and takes the second; both see a road
# below and a ceiling above, so that their clearance sectors have echoes.
SCENE = ("--refuse-config", "none,first", "--rotation", "0,10", "--base", "1500,2000",
         "--ceiling", "4500,4000", "--noise", "4", "--seed", "7")


def up(s, *extra, items=None, scanners=(0, 1)):
    s.deploy(items)
    s.start_sim(*(SCENE + extra))
    s.start_service(scanners)
    s.wait_block(STATUS_BLOCK, "1\n", 10000, "the status block says the last scans were good")


def folder(s, *parts):
    path = os.path.join(s.work, *parts)
    return path, windows_path(path)


def logs_in(path):
    return [os.path.join(path, "scanner%d.log" % k) for k in (0, 1)]



def check_alarm_lines(truth, k, lines, rotation, window, sector=(-10.0, 10.0),
                      values=(1000.0,) * 3):
    """The lines of a recording without log commands: exactly the scans whose
    sector changed by more than the threshold, each with mark 1 and the values
    of the last log command (1000.0 before the first); every such scan falls
    inside `window` (simulator seconds) of the recording. Returns the alarm
    scans."""
    alarms = expected_alarms(truth.scans[k], rotation, sector)
    late = late_scans(truth.scans[k])
    if late and [line.scan.seq for line in lines] != [a.seq for a in alarms]:
        # A loaded machine: replies the service may have given up waiting for.
        print("scanner %d: late replies %s, taken as missed" % (k, sorted(late)), flush=True)
        alarms = expected_alarms(truth.scans[k], rotation, sector, missed=late)
    check(all(window[0] < a.t < window[1] for a in alarms),
          "scanner %d: every expected alarm falls inside the recording" % k)
    check([line.scan.seq for line in lines] == [a.seq for a in alarms],
          "scanner %d: lines exactly for the %d scans whose sector changed by more than 150 mm"
          % (k, len(alarms)))
    check(all(line.mark == 1 for line in lines), "scanner %d: every such line has mark 1" % k)
    check(all(line.command_values == list(values) for line in lines),
          "scanner %d: the alarm lines carry the last command's values %s" % (k, list(values)))
    return alarms


def served_after(s, k, count, what, timeout_s=10):
    """Waits until scanner k has served `count` good scans asked for after now."""
    since = s.sim_time()
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        s.truth.update()
        good = [x for x in s.truth.scans_since(k, since)
                if x.t_request > since and x.service_good()]
        if len(good) >= count:
            return
        time.sleep(0.05)
    raise Failure(what)


# --- one scenario ---------------------------------------------------------------------------

class Scenario:
    def __init__(self, args, wine):
        self.args = args
        self.wine = wine
        self.name = args.scenario
        self.work = os.path.join(args.work, args.scenario)
        shutil.rmtree(self.work, ignore_errors=True)
        self.install = os.path.join(self.work, "install")
        os.makedirs(self.install)
        self.messages = MessageLog(os.path.join(self.work, "messages.log"))
        self.truth_path = os.path.join(self.work, "truth.jsonl")
        self.truth = Truth(self.truth_path)
        self.sim = Simulator(self.work, "sim", "scanner simulator")
        self.service = None
        self.service_log = None
        self.started_at = None
        self.probe = WinProbe(wine, args.winprobe, MAIN_TITLE)
        self.settings_probe = WinProbe(wine, args.winprobe, SETTINGS_TITLE)
        self.background = []

    # --- set-up ---------------------------------------------------------------------
    def deploy(self, items=None, base_distance=1600):
        shutil.copy(self.args.vestrami, os.path.join(self.install, "Vestrami.exe"))
        if self.args.rvupdate and os.path.exists(self.args.rvupdate):
            shutil.copy(self.args.rvupdate, os.path.join(self.install, "rvupdate.exe"))
        with open(self.config_path(), "w", encoding="utf-8") as f:
            f.write(vehicle_xml(default_items() if items is None else items, base_distance))

    def config_path(self):
        return os.path.join(self.install, "Tuvarnex.xml")

    def config_text(self):
        return config_text(self.config_path())

    def item(self, k):
        text = self.config_text()
        vehicle = re.search(r"<Авто0>(.*?)</Авто0>", text, re.S)
        if not vehicle:
            raise Failure("no vehicle element in the configuration")
        return xml_attributes(vehicle.group(1), "Изделие%d" % k)

    def start_sim(self, *extra):
        return self.sim.start([os.path.join(self.args.source_dir, "sim", "sopas_sim.py"),
                               "--address", ",".join(ADDRESSES), "--port", str(PORT),
                               "--truth", self.truth_path, "--duration", "600"] + list(extra),
                              lambda: self.truth.update().ready())

    def sim_time(self):
        """Seconds on the simulator's clock (its "t"): its last record, or later."""
        self.truth.update()
        times = [e["t"] for e in self.truth.events[-1:]]
        for k in (0, 1):
            times += [s.t for s in self.truth.scans[k][-1:]]
        return max(times) if times else 0.0

    def start_service(self, scanners=(0, 1), args=(), bound_s=START_BOUND_S):
        """Starts Vestrami.exe in its folder and waits (`bound_s`) for its
        window, then until the scanners named deliver scans to its data threads."""
        self.started_at = time.time()
        local = self.wine.local_time(self.started_at)
        print("zone %s: local %s, UTC %s" % (local.tzinfo, local.strftime("%Y-%m-%d %H:%M:%S"),
                                            utc_time(self.started_at).strftime("%H:%M:%S")),
              flush=True)
        self.service_log = open(os.path.join(self.work, "vestrami.out"), "wb")
        self.service = self.wine.spawn([windows_path(os.path.join(self.install, "Vestrami.exe"))]
                                       + list(args), env=self.messages.env(),
                                       log=self.service_log, cwd=self.install)
        rc, out = self.probe.window("wait", timeout_ms=bound_s * 1000, timeout=bound_s + 30)
        check(rc == 0, "the service's window is up (%s)" % out.strip())
        for k in scanners:
            self.wait_scans(k, 3, 30, "scanner %d delivers scans to the service" % k)
        return out.strip()

    def wait_scans(self, scanner, count, timeout_s, what, since=None):
        since = self.sim_time() if since is None else since
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            if len(self.truth.update().scans_since(scanner, since)) >= count:
                print("ok:", what, flush=True)
                return
            if self.service is not None and self.service.poll() is not None:
                raise Failure("the service ended (%s) while waiting: %s"
                              % (self.service.returncode, what))
            time.sleep(0.1)
        raise Failure(what)

    # --- the recorder and the blocks -------------------------------------------------
    def recorder(self, *argv, timeout_ms=ANSWER_BOUND_MS):
        rc, out = self.wine.run([self.args.recorder] + list(argv) +
                                ["--timeout", str(timeout_ms)], timeout=timeout_ms / 1000 + 60)
        return rc, out.strip()

    def scanner_command(self, *argv, answer="done", timeout_ms=ANSWER_BOUND_MS):
        """A recorder scanner command and the answer it must get ("pending": none)."""
        rc, out = self.recorder("scanner", *argv, timeout_ms=timeout_ms)
        words = out.split(" ")
        got = words[2] if len(words) > 2 and words[0] == "scanner" else "?"
        check(got == answer, "scanner %s: %s (%s)" % (" ".join(argv), answer, out))
        return out

    def unanswered(self, text):
        """A command text that must stay unanswered: the block keeps it."""
        escaped = text.replace("\\", "\\\\").replace("\n", "\\n")
        out = self.scanner_command("command", escaped, answer="pending", timeout_ms=700)
        check(out == ("scanner command pending " + text.replace("\n", "\\n")).strip(),
              "the block still holds the command %r" % text)

    def read_block(self, block):
        rc, out = self.recorder("read", *block, timeout_ms=2000)
        return out if rc == 0 else None

    def wait_block(self, block, text, timeout_ms, what):
        rc, out = self.recorder("wait", *block, text.replace("\n", "\\n"), timeout_ms=timeout_ms)
        check(rc == 0, "%s (%s)" % (what, out))

    def hold_name(self, name):
        """Another program holds `name` until the scenario ends."""
        self.background.append(hold_name(self.wine, self.args.recorder, name,
                                         os.path.join(self.work, "hold-%s.out" % name)))

    def spawn_block_reader(self, block, text, timeout_ms):
        """A reader that holds the block open and waits for `text` (background)."""
        log = open(os.path.join(self.work, "reader-%s.out" % block[0]), "wb")
        p = self.wine.spawn([self.args.recorder, "wait"] + list(block) +
                            [text.replace("\n", "\\n"), "--timeout", str(timeout_ms)], log=log)
        self.background.append(p)
        return p, log

    # --- the window --------------------------------------------------------------------
    def controls(self):
        return self.probe.controls()

    def wait_text(self, control_id, text, timeout_s, what):
        """Waits until a control of the main window shows `text`."""
        deadline = time.monotonic() + timeout_s
        got = None
        while time.monotonic() < deadline:
            got = self.probe.text(control_id)
            if got == text:
                print("ok:", what, flush=True)
                return
            time.sleep(0.3)
        raise Failure("%s (%r)" % (what, got))

    def close_service(self):
        """Closes the window as the operator does; True when the service ended."""
        if self.service is None:
            return True
        closed = False
        if self.service.poll() is None:
            self.probe.window("close", "--wait-gone", timeout_ms=30000, timeout=60)
            try:
                self.service.wait(timeout=30)
                closed = True
            except subprocess.TimeoutExpired:
                self.service.kill()
                self.service.wait(timeout=10)
        else:
            closed = True
        self.service_log.close()
        self.service = None
        return closed

    def screenshot(self, name):
        path = os.path.join(self.args.work, name)
        check(self.wine.screenshot(path), "screenshot saved to %s" % path)
        return path

    # --- tear-down ---------------------------------------------------------------------
    def cleanup(self):
        try:
            self.close_service()
        finally:
            for p in self.background:
                if p.poll() is None:
                    p.kill()
                    p.wait(timeout=10)
            self.sim.stop()
