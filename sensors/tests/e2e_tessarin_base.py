"""Shared pieces of the end-to-end checks of Tessarin.exe under Wine: one
scenario's installation (Tessarin.exe with the stand-in driver DLLs beside
it, rvupdate.exe, Tuvarnex.xml), the simulated USB-6008 in SetupAPI, the
odometer converter simulator, the recorder and winprobe, and readers of what
the service and the stand-ins wrote (data lines, channel files, session.ini,
the DAQ record). The private Wine prefix comes from sim/e2e_wine.py."""

import datetime
import os
import shutil
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "sim"))
from e2e_wine import (Failure, MessageLog, Simulator, Wine, WinProbe, check,  # noqa: E402,F401
                      config_text, hold_name, json_lines, windows_path)
import register_daq_device  # noqa: E402

TITLE_PREFIX = "Tessarin v"
SETTINGS_TITLE = "Настройки АЦП"
ODOMETER_COM = 6  # the converter's COM port in the serial scenarios

# Texts of the service (message boxes, window) the checks look for.
CANNOT_FIND_DAQ = "Не удается найти АЦП"
CANNOT_CONNECT_DAQ = "Не удалось подключить АЦП"
BAD_SUPPLY = "Недопустимое напряжение"
CANNOT_LOAD_DRIVER = "Не удается загрузить драйвер АЦП nicaiu.dll"
CANNOT_WRITE_FILES = "Не удается записать файлы датчиков, запись продолжается"
SETTINGS_NOT_APPLIED = "Идет запись: настройки не применены"
CHANNEL_HEADER = b"num,LastDif,LastValue,time,date\r\n"
CHANNEL_FILES = {0: "sensWay.txt", 1: "sensSlope.txt", 4: "leftLazer.txt", 5: "rightLazer.txt"}

# Purposes (the values of "назначение") and the window's face colours.
WAY, SLOPE, VOLTAGE1, VOLTAGE2, LEFT_LASER, RIGHT_LASER = range(6)
GREEN, RED, YELLOW, GREY = "0x00FF00", "0x0000FF", "0x00FFFF", "0xEEEEEE"

# Control ids of the main window (row i: base + i) and the settings dialog.
INDICATOR, COUNTER, VOLTAGE, VALUE = 1001, 1005, 1009, 1013
DISTANCE, SPEED, SETTINGS, SNAPSHOT = 1017, 1018, 1055, 1076


def f32(x):
    """x as the service's single-precision float."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


# --- the installation's configuration ------------------------------------------

def attributes(values):
    return " ".join('%s="%s"' % kv for kv in values.items())


def config_xml(sensors, files=False, estimate=False, vehicle=None, products=(), models=()):
    """Tuvarnex.xml: `sensors` is a list of (enabled, sensitivity mV, purpose)
    per input; `vehicle` the attributes of "Авто0" (None: no vehicle), whose
    products are `products`; `models` the root's "Модель%d" nodes."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<CONFIGURATION>"]
    if vehicle is not None:
        lines.append('\t<Работа индекс_автомобиля="0"/>')
        lines.append("\t<Авто0 %s>" % attributes(vehicle))
        for k, product in enumerate(products):
            lines.append("\t\t<Изделие%d %s/>" % (k, attributes(product)))
        lines.append("\t</Авто0>")
    for m, model in enumerate(models):
        lines.append("\t<Модель%d %s/>" % (m, attributes(model)))
    for i, (enabled, sensitivity, purpose) in enumerate(sensors):
        lines.append('\t<Датчик%d включение="%d" чувствительность_в_мВ="%d" тип="0" '
                     'назначение="%d"/>' % (i, enabled, sensitivity, purpose))
    lines.append('\t<Оценивать_шаг_ДПП да_если_1="%d"/>' % int(estimate))
    lines.append('\t<Записывать_отладочные_файлы да_если_1="%d"/>' % int(files))
    lines.append("</CONFIGURATION>")
    return "\n".join(lines) + "\n"


def sensor_nodes(text):
    """{input: {attribute: value}} of the "Датчик%d" nodes of a Tuvarnex.xml text."""
    import xml.etree.ElementTree as ET
    root = ET.fromstring(text.encode("utf-8"))
    nodes = {}
    for element in root:
        if element.tag.startswith("Датчик") and element.tag[6:].isdigit():
            nodes[int(element.tag[6:])] = dict(element.attrib)
    return nodes, root


# --- one scenario ------------------------------------------------------------

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
        self.daq_record = os.path.join(self.work, "daq-record.txt")
        self.ftdi_record = os.path.join(self.work, "ftdi-record.txt")
        self.odometer_truth = os.path.join(self.work, "odometer.jsonl")
        self.probe = WinProbe(wine, args.winprobe, TITLE_PREFIX)
        self.process = None
        self.process_log = None
        self.odometer = Simulator(self.work, "odometer", "odometer converter simulator")
        self.readers = []
        self.holders = []
        self.env = {}

    # -- set-up --------------------------------------------------------------
    def deploy(self, config, daq=True, ftdi=False, daq_scenario=None):
        """The installation: Tessarin.exe, rvupdate.exe and Tuvarnex.xml, with
        nicaiu.dll (`daq`, playing `daq_scenario`) and ftd2xx.dll (`ftdi`)."""
        shutil.copy(self.args.tessarin, os.path.join(self.install, "Tessarin.exe"))
        shutil.copy(self.args.rvupdate, os.path.join(self.install, "rvupdate.exe"))
        with open(self.config_path(), "w", encoding="utf-8") as f:
            f.write(config)
        self.env = dict(self.messages.env())
        if daq:
            shutil.copy(self.args.nicaiu, os.path.join(self.install, "nicaiu.dll"))
            self.env["SURVEY_DAQ_RECORD"] = windows_path(self.daq_record)
            if daq_scenario is not None:
                path = os.path.join(self.work, "daq-scenario.txt")
                with open(path, "w", encoding="utf-8") as f:
                    f.write(daq_scenario)
                self.env["SURVEY_DAQ_SCENARIO"] = windows_path(path)
        if ftdi:
            shutil.copy(self.args.ftd2xx, os.path.join(self.install, "ftd2xx.dll"))
            self.env["SURVEY_FTDI_RECORD"] = windows_path(self.ftdi_record)

    def config_path(self):
        return os.path.join(self.install, "Tuvarnex.xml")

    def config_text(self):
        return config_text(self.config_path())

    def device(self, present):
        """The simulated USB-6008 shown to SetupAPI in this prefix, or not."""
        env = dict(os.environ, WINEPREFIX=self.args.prefix)
        action = "add" if present else "remove"
        done = subprocess.run([sys.executable, register_daq_device.__file__, action], env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=180)
        if done.returncode != 0:
            raise Failure("register_daq_device %s failed: %s" % (action, done.stderr.decode()))

    def adapter(self, com):
        """The FTDI stand-in reports one adapter on COM `com` (None: none)."""
        if com is None:
            self.env.pop("SURVEY_FTDI_COM", None)
        else:
            self.env["SURVEY_FTDI_COM"] = str(com)

    def clear_com_links(self):
        dos = os.path.join(self.args.prefix, "dosdevices")
        for name in os.listdir(dos) if os.path.isdir(dos) else []:
            if name.startswith("com") and name[3:].isdigit():
                os.unlink(os.path.join(dos, name))

    def start_odometer(self, extra=()):
        """The converter simulator on a pty mapped as COM ODOMETER_COM."""
        self.odometer.start([os.path.join(self.args.source_dir, "sim", "odometer_sim.py"),
                             "--wine-com", str(ODOMETER_COM), "--truth", self.odometer_truth,
                             "--duration", "240"] + list(extra),
                            lambda: any(e.get("event") == "ready" for e in self.odometer_events()),
                            env=self.wine.env)

    def odometer_events(self):
        return json_lines(self.odometer_truth)

    # -- the service -----------------------------------------------------------
    def start(self, argv=()):
        self.started_at = time.time()
        self.process_log = open(os.path.join(self.work, "tessarin.out"), "wb")
        self.process = self.wine.spawn([os.path.join(self.install, "Tessarin.exe")] + list(argv),
                                       env=self.env, log=self.process_log, cwd=self.install)

    def wait_up(self, timeout_s=60):
        """Waits for the window and the data block; a Failure naming the
        service's messages when it does not come up."""
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise Failure("Tessarin.exe ended at start (%s); messages: %s"
                              % (self.process.returncode, self.messages.lines()))
            rc, _ = self.probe.window("wait", timeout_ms=2000, timeout=30)
            if rc == 0 and self.data_lines(1):
                return
        raise Failure("Tessarin.exe did not come up; messages: %s" % self.messages.lines())

    def wait_exit(self, timeout_s):
        try:
            return self.process.wait(timeout=timeout_s)
        except subprocess.TimeoutExpired:
            return None

    def close(self):
        """Closes the window as an operator would; the exit code (None: hung)."""
        if self.process is None:
            return None
        if self.process.poll() is None:
            self.probe.window("close", "--wait-gone", timeout_ms=30000, timeout=60)
        rc = self.wait_exit(40)
        if rc is None:
            self.process.kill()
            self.process.wait(timeout=10)
        self.process_log.close()
        self.process = None
        return rc

    def output(self):
        with open(os.path.join(self.work, "tessarin.out"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def check_clean_exit(self, rc):
        check(rc == 0, "Tessarin.exe ends by itself with exit code 0 (%s)" % rc)
        out = self.output()
        check("Unhandled" not in out and "page fault" not in out,
              "Tessarin.exe did not crash (%r)" % out[-300:])

    # -- the recorder and the blocks --------------------------------------------
    def recorder(self, *argv, timeout=60):
        rc, out = self.wine.run([self.args.recorder] + list(argv), timeout=timeout)
        return rc, [line.rstrip("\r") for line in out.split("\n") if line.strip()]

    def data_lines(self, count, interval_ms=200):
        """`count` reads of the data block (texts without the line feed)."""
        rc, lines = self.recorder("sensors", "data", "--count", str(count), "--interval",
                                  str(interval_ms), "--open-timeout", "1000")
        if rc != 0:
            return []
        return [line[:-2] if line.endswith("\\n") else line for line in lines]

    def spawn_reader(self, count, interval_ms):
        """A reader that holds the data block open while it reads it `count` times."""
        path = os.path.join(self.work, "reader-%d.out" % len(self.readers))
        log = open(path, "wb")
        process = self.wine.spawn([self.args.recorder, "sensors", "data", "--count", str(count),
                                   "--interval", str(interval_ms)], log=log)
        self.readers.append((process, log, path))
        return process, path

    def hold_name(self, name):
        """Another program holds `name` (until release_names or the end)."""
        self.holders.append(hold_name(self.wine, self.args.recorder, name,
                                      os.path.join(self.work, "hold-%s.out" % name)))

    def release_names(self):
        for process in self.holders:
            if process.poll() is None:
                process.kill()
                process.wait(timeout=10)
        self.holders = []

    def recording_folder(self, name):
        """A recording folder with Cyrillic letters and a space (host path)."""
        return os.path.join(self.work, "записи", name)

    def start_recording(self, folder):
        self.recording_started = time.time()
        rc, lines = self.recorder("sensors", "start", windows_path(folder))
        check(rc == 0, "the recorder asks for a recording (%s)" % lines)

    def stop_recording(self):
        self.recording_stopped = time.time()
        rc, lines = self.recorder("sensors", "stop")
        check(rc == 0, "the recorder asks the recording to stop (%s)" % lines)

    # -- the window ------------------------------------------------------------
    def controls(self):
        return self.probe.controls()

    # -- tear-down --------------------------------------------------------------
    def cleanup(self):
        try:
            self.close()
        finally:
            for process, log, _ in self.readers:
                if process.poll() is None:
                    process.kill()
                    process.wait(timeout=10)
                log.close()
            self.release_names()
            self.odometer.stop()
            self.clear_com_links()


# --- what the service and the stand-ins wrote ----------------------------------

def parse_data_line(text):
    """Counters (ints) and raw voltages (texts, as published) of a data line."""
    fields = text.split()
    counters = [int(f) for f in fields[:4]]
    return counters, fields[4:]


class DaqRecord:
    """The DAQ stand-in's record: calls, served samples and the summary."""

    def __init__(self, path):
        self.calls = []
        self.samples = []  # (index, utc_us, [ai0..ai3])
        self.summary = {}
        self.lines = []
        if not os.path.exists(path):
            return
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                kind = fields[0]
                if kind == "sample":
                    self.samples.append((int(fields[1]), int(fields[2]),
                                         [float(v) for v in fields[3:]]))
                elif kind == "call":
                    self.calls.append((fields[2], int(fields[3]), fields[4:]))
                elif kind == "summary":
                    self.summary = dict(f.split("=", 1) for f in fields[1:] if "=" in f)
                else:
                    self.lines.append(fields)
        # Each acquisition numbers its samples 0, 1, 2...; a task set up
        # again (the device came back) starts from 0. Positions in `samples`
        # run on across acquisitions.
        for n, (index, _, _) in enumerate(self.samples):
            if index != (self.samples[n - 1][0] + 1 if n and index else 0):
                raise Failure("the DAQ record's samples are not numbered 0, 1, 2...")

    def functions(self):
        return [c[0] for c in self.calls]

    def value(self, index, channel):
        return self.samples[index][2][channel]


def samples_with_raw(record, inputs, raw):
    """Indices of the served samples whose inputs `inputs` (one per text, None:
    absent) print as the data line's raw texts."""
    found = []
    for index, _, values in record.samples:
        if all(i is None or "%.6f" % values[i] == text for i, text in zip(inputs, raw)):
            found.append(index)
    return found


class ChannelModel:
    """What the service's change detection and pulse counting make of the
    served samples of one input, in its single-precision arithmetic."""

    def __init__(self, purpose, sensitivity_mv):
        self.way = purpose == WAY
        self.threshold = f32(sensitivity_mv / 1000.0)

    def step(self, voltage, reference, rising):
        """(difference, counted, new reference, new rising) for one sample."""
        v = f32(voltage)
        d = f32(v - reference)
        if not self.way:
            return d, abs(d) > self.threshold, v, rising
        if d > self.threshold:
            return d, True, v, True
        if d < -self.threshold:
            return d, False, v, False
        if (d > 0 and rising) or (d < 0 and not rising):
            return d, False, v, rising
        return d, False, reference, rising


def read_channel_file(path):
    """(header bytes, [(count, difference, voltage, stamp datetime UTC)]) of a
    channel file; checks that its lines end in CR LF."""
    with open(path, "rb") as f:
        data = f.read()
    check(data.count(b"\n") == data.count(b"\r\n"), "%s: lines end in CR LF"
          % os.path.basename(path))
    head, _, body = data.partition(b"\r\n")
    rows = []
    for line in body.split(b"\r\n"):
        if not line:
            continue
        count, d, v, clock, date = line.decode("ascii").split(",")
        stamp = datetime.datetime.strptime(date + clock, "%y%m%d%H%M%S.%f").replace(
            tzinfo=datetime.timezone.utc)
        rows.append((int(count), float(d), float(v), stamp))
    return head + b"\r\n", rows


def close_to(text_value, value, decimals=3):
    return abs(text_value - value) <= 0.5 * 10 ** -decimals + 1e-6


def check_channel_files(folder, record, sensors, requested, files_option=True, ignore=()):
    """Checks the channel files of one recording against the served samples:
    the header, one line per sample with no gap, the values and differences
    of those samples, the counters as the service's detectors count them, and
    UTC stamps. `sensors` as for config_xml; `requested` the (start, stop)
    Unix times of the recorder's requests; `ignore`: names in the folder that
    are no channel files of this recording. Returns the statistics."""
    names = {}
    for i, (_, _, purpose) in enumerate(sensors):
        if purpose in CHANNEL_FILES:
            names[i] = CHANNEL_FILES[purpose]
    present = sorted(n for n in os.listdir(folder)
                     if n in CHANNEL_FILES.values() and n not in ignore)
    if not files_option:
        check(present == [], "without the files option no channel file is written (%s)" % present)
        return None
    check(present == sorted(set(names.values())), "the channel files are those of the inputs' "
          "purposes: %s" % present)
    files = {}
    for i, name in sorted(names.items()):
        head, rows = read_channel_file(os.path.join(folder, name))
        check(head == CHANNEL_HEADER, "%s starts with the header" % name)
        check(len(rows) > 0, "%s has sample lines" % name)
        files[i] = (name, rows)
    lengths = {len(rows) for _, rows in files.values()}
    check(len(lengths) == 1, "every channel file has the same number of lines (%s)" % lengths)
    n = lengths.pop()
    # The first line's sample: served within half a second of its stamp, with
    # every input's voltage; then every line must be the next sample.
    t0 = next(iter(files.values()))[1][0][3].timestamp() * 1e6

    def fits(k, j):
        return all(close_to(rows[j][2], f32(record.value(k + j, i)))
                   for i, (_, rows) in files.items())

    candidates = [k for k, (_, utc, _) in enumerate(record.samples)
                  if k > 0 and abs(utc - t0) < 500000 and k + n <= len(record.samples)
                  and fits(k, 0)]
    starts = [k for k in candidates if all(fits(k, j) for j in range(n))]
    check(len(starts) == 1, "the lines of all channel files are %d consecutive samples the "
          "stand-in served, the same in every file (start %s)" % (n, starts))
    start = starts[0]
    stats = {}
    for i, (name, rows) in sorted(files.items()):
        model = ChannelModel(sensors[i][2], sensors[i][1])
        reference = f32(record.value(start - 1, i))
        rising = model.way and reference > 2.5  # a clean square wave: rising while high
        largest_stamp_gap = 0.0
        for j, (count, d, v, stamp) in enumerate(rows):
            k = start + j
            served = record.samples[k]
            diff, counted, reference, rising = model.step(served[2][i], reference, rising)
            if not close_to(d, diff):
                raise Failure("%s line %d: difference %.3f, the samples give %.6f"
                              % (name, j + 2, d, diff))
            if j > 0 and count != rows[j - 1][0] + (1 if counted else 0):
                raise Failure("%s line %d: counter %d after %d, the samples %s a count"
                              % (name, j + 2, count, rows[j - 1][0],
                                 "give" if counted else "give no"))
            # The stamp is the UTC time of the callback that read the sample.
            lag = stamp.timestamp() - served[1] / 1e6
            if not -0.002 <= lag <= 0.5:
                raise Failure("%s line %d: stamp %s is %.3f s from the sample's UTC time"
                              % (name, j + 2, stamp, lag))
            if j > 0:
                largest_stamp_gap = max(largest_stamp_gap,
                                        (stamp - rows[j - 1][3]).total_seconds())
        ok_counts = rows[-1][0] - rows[0][0]
        stats[name] = {"input": i, "rows": rows, "lines": len(rows), "first": start, "last": start + len(rows) - 1,
                       "samples": len(rows), "largest_gap": 1, "counted": ok_counts,
                       "largest_stamp_gap_ms": round(largest_stamp_gap * 1000, 1),
                       "first_stamp": rows[0][3], "last_stamp": rows[-1][3]}
        print("ok: %s: %d lines = samples %d..%d, each the next one, values, differences, "
              "counters (+%d) and UTC stamps as served" % (name, len(rows), start,
                                                          start + len(rows) - 1, ok_counts),
              flush=True)
    any_stats = next(iter(stats.values()))
    start_s, stop_s = requested
    check(any_stats["first_stamp"].timestamp() >= start_s - 0.01,
          "the recording starts after the recorder asked for it")
    check(any_stats["last_stamp"].timestamp() >= stop_s - 0.01
          and any_stats["first_stamp"].timestamp() < stop_s,
          "the recording runs until the recorder asks it to stop")
    return stats


def recording_losses(folder, record, sensors, stopped):
    """The gap figures of one recording, measured from its channel files
    against the DAQ record. Every line is matched to the served sample whose
    voltages it holds (on all inputs at once, each after the last one's);
    `largest_gap` is the largest step between the samples of consecutive
    lines (1: none missing), `lost_between` the samples missing between the
    first and the last line, and `lost_after` those the clock passed after
    the last line up to the recorder's stop (`stopped`, Unix seconds) when
    the acquisition ended before it (the record's "done" line; its "start"
    line gives the clock). `sensors` as for config_xml."""
    files = {}
    for i, (_, _, purpose) in enumerate(sensors):
        name = CHANNEL_FILES.get(purpose)
        if name and name not in [f[0] for f in files.values()]:
            files[i] = (name, read_channel_file(os.path.join(folder, name))[1])
    lengths = {len(rows) for _, rows in files.values()}
    check(len(lengths) == 1 and 0 not in lengths,
          "every channel file has the same number of sample lines (%s)" % lengths)
    n = lengths.pop()
    samples = record.samples

    def fits(k, j):
        return all(close_to(rows[j][2], f32(samples[k][2][i])) for i, (_, rows) in files.items())

    t0 = next(iter(files.values()))[1][0][3].timestamp() * 1e6
    first = [k for k in range(len(samples)) if abs(samples[k][1] - t0) < 500000 and fits(k, 0)]
    check(first, "the first line of the channel files holds a served sample")
    # Noise makes a sample's voltages practically unique; of equal ones, the
    # one the next line follows.
    indices = [next((k for k in first if n == 1 or (k + 1 < len(samples) and fits(k + 1, 1))),
                    first[0])]
    for j in range(1, n):
        k = indices[-1] + 1
        while k < len(samples) and not fits(k, j):
            k += 1
        if k == len(samples):
            raise Failure("line %d of the channel files holds no sample served after sample %d"
                          % (j + 2, indices[-1]))
        indices.append(k)
    steps = [b - a for a, b in zip(indices, indices[1:])]
    largest = max(steps, default=1)
    lost_between = indices[-1] - indices[0] + 1 - n
    lost_after = 0
    stop_us = stopped * 1e6
    starts = [f for f in record.lines if f[0] == "start" and int(f[1]) <= t0]
    if starts and any(f[0] == "done" and int(f[1]) < stop_us for f in record.lines):
        options = dict(x.split("=", 1) for x in starts[-1][2:] if "=" in x)
        at_stop = int((stop_us - int(starts[-1][1])) * float(options["rate"]) / 1e6)
        lost_after = max(0, at_stop - indices[-1])
        largest = max(largest, lost_after + 1)
    return {"lines": n, "first": indices[0], "last": indices[-1], "largest_gap": largest,
            "lost_between": lost_between, "lost_after": lost_after,
            "lost": lost_between + lost_after,
            "overflows": sum(1 for f in record.lines if f[0] == "overflow")}


def read_session_ini(path):
    """{section: {key: value}} of session.ini (the ANSI code page, or UTF-16)."""
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") else data.decode(
        "cp1251")
    sections, current = {}, None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], {})
        elif "=" in line and current is not None:
            key, _, value = line.partition("=")
            current[key] = value
    return sections


def check_session_ini(folder, sensors):
    path = os.path.join(folder, "session.ini")
    check(os.path.exists(path), "session.ini is in the recording folder")
    sections = read_session_ini(path)
    wanted = {"Датчик%d" % i: {"Марка": "", "Чувствительность": str(s), "Назначение": str(p)}
              for i, (enabled, s, p) in enumerate(sensors) if enabled}
    check(sections == wanted, "session.ini has the sections of the enabled inputs: %s"
          % sections)
