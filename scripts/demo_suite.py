#!/usr/bin/env python3
"""The demo's run (scripts/demo builds first): the whole suite on one
simulated drive, under Wine, from one installation folder.

- One installation folder: Orvanta.exe, gps.dll, Vestrami.exe, Tessarin.exe,
  nicaiu.dll (the DAQ stand-in, with its scenario beside it), rvupdate.exe,
  recorder.exe, a gps.dll client, and ONE Tuvarnex.xml that describes the
  receiver, both scanners, the slope beam with its lasers, and the sensors.
- The simulators: the GNSS receiver on a pty mapped as COM3, two LMS100
  scanners on 127.0.0.2 and 127.0.0.3 (scanner 0 takes the first output
  layout, scanner 1 refuses it and takes the second; a road below, a ceiling
  above, an obstacle in the clearance sector now and then), and a USB-6008
  registered in the demo's own prefix.
- The three services start together; recorder.exe records a few seconds into
  one folder with a Cyrillic name, sending log commands to the scanner
  service; the demo prints what the recording holds and the scans logged per
  second per scanner, takes a screenshot of the three windows, closes
  everything and says where things are.

  demo_suite.py --build-dir DIR --demo-dir DIR [--seconds N]
"""

import argparse
import datetime
import json
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "sim"))
from e2e_wine import Failure, MessageLog, Simulator, Wine, WinProbe, windows_path  # noqa: E402
import register_daq_device  # noqa: E402

GNSS_COM = 3
SCANNERS = ("127.0.0.2", "127.0.0.3")
SPEED_KMH = 54
RECORDING = "заезд 1"  # the recording folder, under <demo>/записи

CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<CONFIGURATION>
	<ГНСС скорость="115200" порт="{com}" широта="55.7558" долгота="37.6173"/>
	<Работа индекс_автомобиля="0" базовое_расстояние_от_сканера_до_дороги_в_мм="1500"/>
	<Авто0 путь_за_один_импульс_в_мм="0.1" размер_очереди_уклонов="20">
		<Изделие0 тип="сканер" IP="{s0}" ID_модели="3" подключен="1" угол_поворота_в_поперечной_плоскости_в_град="0" начальный_угол_верхнего_габарита="-10" конечный_угол_верхнего_габарита="10" инклинометр___напряжение_нулевого_уклона_в_мВ="1390"/>
		<Изделие1 тип="сканер" IP="{s1}" ID_модели="3" подключен="1" угол_поворота_в_поперечной_плоскости_в_град="10" начальный_угол_верхнего_габарита="-10" конечный_угол_верхнего_габарита="10" инклинометр___напряжение_нулевого_уклона_в_мВ="1390"/>
		<Изделие2 тип="балка_поперечного_уклона" инклинометр___напряжение_нулевого_уклона_в_мВ="2500" минимальное_расстояние_лазера_в_мм="200" превышение_правого_лазера_в_мм="0" ID_модели="7"/>
	</Авто0>
	<Модель0 ID="3" тип="сканер" шаг_сканирования_в_град="0.25" инклинометр-шкала_в_мВ_на_градус="400"/>
	<Модель1 ID="7" тип="балка" инклинометр-шкала_в_мВ_на_градус="1000" коэффициент_лазера_в_мВ_на_м="2000" напряжение_минимального_расстояния_лазера_в_мВ="500" расстояние_между_лазерами_в_мм="1800"/>
	<Модель2 ID="9" тип="гнсс" минимальное_рабочее_напряжение_в_В="10" максимальное_рабочее_напряжение_в_В="15"/>
	<Датчик0 включение="1" чувствительность_в_мВ="100" тип="0" назначение="0"/>
	<Датчик1 включение="1" чувствительность_в_мВ="5" тип="0" назначение="1"/>
	<Датчик2 включение="1" чувствительность_в_мВ="5" тип="0" назначение="4"/>
	<Датчик3 включение="1" чувствительность_в_мВ="5" тип="0" назначение="5"/>
	<Оценивать_шаг_ДПП да_если_1="0"/>
	<Записывать_отладочные_файлы да_если_1="1"/>
</CONFIGURATION>
"""

# The USB-6008's inputs on the same drive: odometer pulses every 100 mm at
# 54 km/h, a gently rolling slope, the two lasers above a rough road (the
# slope and laser inputs count steps above 5 mV).
DAQ_SCENARIO = """\
channel ai0 role=odometer kind=square low=0 high=5 speed_kmh={speed} path_mm=100
channel ai1 role=inclinometer kind=sine volts=2.5 amplitude=0.05 period_s=8 noise=0.004
channel ai2 role=laser volts=3.20 noise=0.004
channel ai3 role=laser volts=3.26 noise=0.004
"""

# Where the windows go on the 1280 x 1024 screen (outer top-left corners):
# the scanner window on the left, the GNSS and the sensor windows beside it.
MARGIN = 8


def say(text):
    print(text, flush=True)


def log_answer(line):
    """The scanner service's answer to one log command in recorder.exe's
    output ("scanner log <n> done <answer>\\n"), or None for other lines."""
    parts = line.split()
    if line.startswith("scanner log ") and len(parts) > 4 and parts[3] == "done":
        return parts[4].replace("\\n", "")
    return None


class Demo:
    gnss_rate = 1  # receiver fixes a second
    scanners = SCANNERS  # the simulated scanners' loopback addresses

    def __init__(self, args):
        self.args = args
        self.build = args.build_dir
        self.demo = args.demo_dir
        self.install = os.path.join(self.demo, "install")
        self.logs = os.path.join(self.demo, "logs")
        self.prefix = os.path.join(self.demo, "wineprefix")
        self.folder = os.path.join(self.demo, "записи", RECORDING)
        self.shot = os.path.join(self.demo, "suite-windows.png")
        ns = argparse.Namespace(source_dir=ROOT, prefix=self.prefix,
                                ptyshim=self.tool("sim/libsurvey_ptyshim.so"))
        self.wine = Wine(ns)
        self.winprobe = self.tool("sim/winprobe/winprobe.exe")
        self.sims = []
        self.services = {}
        self.logs_open = []
        self.log_commands = 0  # scanner log commands the recorder got answers to

    def tool(self, relative):
        return os.path.join(self.build, relative)

    def log(self, name):
        return os.path.join(self.logs, name)

    # -- the installation --------------------------------------------------------
    def lay_out(self):
        say("== laying out the installation in %s" % self.install)
        for path in (self.install, self.logs, os.path.dirname(self.folder)):
            shutil.rmtree(path, ignore_errors=True)
            os.makedirs(path)
        for source, name in [("gnss/Orvanta.exe", "Orvanta.exe"), ("bin/gps.dll", "gps.dll"),
                             ("scanner/Vestrami.exe", "Vestrami.exe"),
                             ("sensors/Tessarin.exe", "Tessarin.exe"),
                             ("sim/nicaiu-stub/bin/nicaiu.dll", "nicaiu.dll"),
                             ("sim/rvupdate/rvupdate.exe", "rvupdate.exe"),
                             ("sim/recorder/recorder.exe", "recorder.exe"),
                             ("gnss/tests/e2e_gps_fix_client.exe", "gps_fix_client.exe")]:
            shutil.copy(self.tool(source), os.path.join(self.install, name))
        with open(os.path.join(self.install, "Tuvarnex.xml"), "w", encoding="utf-8") as f:
            f.write(CONFIG.format(com=GNSS_COM, s0=self.scanners[0], s1=self.scanners[1]))
        with open(os.path.join(self.install, "nicaiu-scenario.txt"), "w") as f:
            f.write(DAQ_SCENARIO.format(speed=SPEED_KMH))
        for name in sorted(os.listdir(self.install)):
            say("   %s" % name)

    # -- Wine and the simulators ---------------------------------------------------
    def start_wine(self):
        say("== starting Wine (private prefix %s; the first start takes a while)" % self.prefix)
        os.makedirs(self.demo, exist_ok=True)
        self.wine.start()
        os.environ["WINEPREFIX"] = self.prefix
        register_daq_device.add()
        say("   a USB-6008 is registered in the prefix (SetupAPI sees \"NI USB-6008\")")

    def spawn_sim(self, name, what, argv):
        """Starts sim/<argv[0]>, ready once its truth file records it."""
        sim = Simulator(self.logs, name, what)
        self.sims.append(sim)
        sim.start([os.path.join(ROOT, "sim", argv[0]), "--truth", self.log(name + ".jsonl")]
                  + argv[1:], lambda: self.truth_has(name, '"ready"'), env=self.wine.env)

    def truth_has(self, name, text):
        try:
            with open(self.log(name + ".jsonl"), encoding="utf-8") as f:
                return text in f.read(4096)
        except OSError:
            return False

    def start_simulators(self, seconds):
        say("== starting the GNSS receiver simulator on COM%d (115200 bit/s, %d km/h)"
            % (GNSS_COM, SPEED_KMH))
        self.spawn_sim("gnss-simulator", "GNSS receiver simulator", [
            "nmea_sim.py", "--wine-com", str(GNSS_COM), "--baud", "115200", "--speed",
            str(SPEED_KMH), "--sats", "9", "--rate", str(self.gnss_rate), "--loop",
            "--duration", str(seconds + 300)])
        say("== starting two simulated LMS100 scanners on %s and %s, port 2111" % self.scanners)
        # An obstacle enters one clearance sector or the other every ~100 scans.
        obstacles = []
        for n, poll in enumerate(range(150, 150 + 100 * (seconds + 60) // 4, 100)):
            obstacles += ["--on-scan", str(poll), "%d obstacle 4" % (n % 2)]
        self.spawn_sim("scanner-simulator", "scanner simulator", [
            "sopas_sim.py", "--address", ",".join(self.scanners), "--refuse-config", "none,first",
            "--rotation", "0,10", "--base", "1500,2000", "--ceiling", "4500,4000", "--noise", "4",
            "--seed", "7", "--truth-brief", "--duration", str(seconds + 300)] + obstacles)

    # -- the services -------------------------------------------------------------
    def start_services(self):
        say("== starting Orvanta.exe, Vestrami.exe and Tessarin.exe")
        for name in ("Orvanta", "Vestrami", "Tessarin"):
            messages = MessageLog(self.log("messages-%s.log" % name))
            env = dict(messages.env())
            if name == "Tessarin":
                env["SURVEY_DAQ_RECORD"] = windows_path(self.log("daq-record.txt"))
            out = open(self.log("%s.out" % name), "wb")
            self.logs_open.append(out)
            process = self.wine.spawn([os.path.join(self.install, name + ".exe")], env=env,
                                      log=out, cwd=self.install)
            self.services[name] = (process, messages, WinProbe(self.wine, self.winprobe,
                                                               name + " v"))

    def fail_service(self, name, what):
        process, messages, _ = self.services[name]
        state = "running" if process.poll() is None else "ended (%s)" % process.returncode
        raise Failure("%s: %s; the program is %s; its messages: %s"
                      % (name, what, state, messages.lines() or "none"))

    def wait_services(self):
        for name, (process, _, probe) in self.services.items():
            rc, _ = probe.window("wait", timeout_ms=60000, timeout=90)
            if rc != 0:
                self.fail_service(name, "its window did not come up within 60 s")
        checks = {
            "Orvanta": ([self.tool("gnss/tests/test_orvanta_client.exe"), "wait-record", "45000"],
                        "no fix was published within 45 s"),
            "Vestrami": ([self.tool("sim/recorder/recorder.exe"), "wait", "MyScanFileMappingObject",
                          "MyScanBufferMutex", "16", "1\\n", "--timeout", "45000",
                          "--open-timeout", "20000"], "no good scan within 45 s"),
            "Tessarin": ([self.tool("sim/recorder/recorder.exe"), "sensors", "data",
                          "--open-timeout", "20000"], "no data block within 20 s"),
        }
        for name, (argv, what) in checks.items():
            rc, out = self.wine.run(argv, timeout=90)
            if rc != 0:
                self.fail_service(name, what)
            say("   %s is up: %s" % (name, out.strip().splitlines()[-1] if out.strip() else "ok"))

    def place_windows(self):
        """Side by side: Vestrami on the left, Orvanta and Tessarin beside it."""
        sizes = {}
        x, y = MARGIN, MARGIN
        for name in ("Vestrami", "Orvanta", "Tessarin"):
            probe = self.services[name][2]
            if name == "Orvanta":
                x, y = sizes["Vestrami"][0] + 2 * MARGIN, MARGIN
            elif name == "Tessarin":
                y = MARGIN + sizes["Orvanta"][1] + MARGIN
            rc, out = probe.window("move", "--x", str(x), "--y", str(y))
            fields = out.split()
            if rc != 0 or len(fields) != 4:
                say("   could not move the %s window (%s)" % (name, out.strip()))
                sizes[name] = (0, 0)
                continue
            sizes[name] = (int(fields[2]), int(fields[3]))
            say("   %s window at %s, %s, %s x %s" % (name, x, y, fields[2], fields[3]))

    def gps_client(self, seconds):
        say("== a program beside the services reads the fix through gps.dll (%d s)" % seconds)
        rc, out = self.wine.run([os.path.join(self.install, "gps_fix_client.exe"), str(seconds)],
                                timeout=seconds + 60)
        for line in out.strip().splitlines():
            say("   " + line)

    # -- the recording -----------------------------------------------------------------
    def record(self, seconds):
        say("== recorder.exe records %d s into \"%s\" (GNSS run log, scanner logs, sensor "
            "files)" % (seconds, self.folder))
        # Log commands at about 18 a second, below the scanners' 25 Hz trigger:
        # the scanner service checks a scan for the clearance alarm only when
        # no log command is pending, so some scans stay free for it.
        interval_ms = 40
        logs = max(1, seconds * 18)
        out_path = self.log("recorder-session.out")
        out = open(out_path, "wb")
        self.logs_open.append(out)
        started = time.time()
        session = self.wine.spawn([os.path.join(self.install, "recorder.exe"), "session",
                                   windows_path(self.folder), "--logs", str(logs), "--interval",
                                   str(interval_ms), "--values", "gps"], log=out)
        # The screenshot near the end of the recording: the windows show it
        # (the scanner service's indicator counts every 10 s).
        time.sleep(max(3, seconds))
        if self.wine.screenshot(self.shot):
            say("   screenshot of the three windows: %s" % self.shot)
        try:
            session.wait(timeout=seconds * 3 + 120)
        except subprocess.TimeoutExpired:
            session.kill()
            raise Failure("recorder.exe session did not finish")
        out.close()
        self.recording_seconds = time.time() - started
        with open(out_path, encoding="utf-8", errors="replace") as f:
            lines = [line.rstrip() for line in f if line.strip()]
        answers = {}
        for line in lines:
            answer = log_answer(line)
            if answer is not None:
                answers[answer] = answers.get(answer, 0) + 1
            elif not line.startswith("scanner log "):
                say("   " + line)
        self.log_commands = sum(answers.values())
        say("   scanner log commands: %s (the whole session took %.1f s)" % (
            ", ".join("%d %s" % (n, a) for a, n in sorted(answers.items())),
            self.recording_seconds))
        if session.returncode != 0:
            raise Failure("recorder.exe session ended with %d (see %s)" % (session.returncode,
                                                                           out_path))

    def report(self):
        say("== the recording folder %s" % self.folder)
        for name in sorted(os.listdir(self.folder)):
            path = os.path.join(self.folder, name)
            with open(path, "rb") as f:
                data = f.read()
            say("   %-24s %9d bytes %7d lines" % (name, len(data), data.count(b"\n")))
        session_ini = os.path.join(self.folder, "session.ini")
        if os.path.exists(session_ini):
            say("== session.ini")
            with open(session_ini, "rb") as f:
                data = f.read()
            text = data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("cp1251")
            for line in text.splitlines():
                say("   " + line)
        say("== scans logged per second per scanner")
        for k in (0, 1):
            path = os.path.join(self.folder, "scanner%d.log" % k)
            stamps, marks = [], 0
            if os.path.exists(path):
                with open(path, "rb") as f:
                    for line in f:
                        fields = line.split()
                        if len(fields) < 4:
                            continue
                        stamps.append(datetime.datetime.strptime(
                            (fields[0] + fields[1]).decode(), "%y%m%d%H%M%S.%f"))
                        marks += fields[-2] == b"1"
            if len(stamps) < 2:
                say("   scanner %d: %d scans logged" % (k, len(stamps)))
                continue
            span = (stamps[-1] - stamps[0]).total_seconds()
            served = self.scans_served(k, stamps[0], stamps[-1])
            say("   scanner %d: %d scans logged over %.1f s = %.1f scans/s (%d with the alarm "
                "mark), for about %.0f log commands a second; the scanner served %.1f scans/s "
                "to the service meanwhile"
                % (k, len(stamps), span, (len(stamps) - 1) / span if span else 0, marks,
                   self.log_commands / span if span else 0,
                   served / span if span else 0))
        for name in ("sensWay.txt", "sensSlope.txt", "leftLazer.txt", "rightLazer.txt"):
            path = os.path.join(self.folder, name)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    rows = f.read().count(b"\n") - 1
                say("   %s: %d samples" % (name, rows))

    def scans_served(self, scanner, first, last):
        """Scans the simulated scanner sent between two UTC times (naive)."""
        count = 0
        with open(self.log("scanner-simulator.jsonl"), encoding="utf-8") as f:
            for line in f:
                if '"scan"' not in line:
                    continue
                e = json.loads(line)
                if e.get("event") != "scan" or e.get("scanner") != scanner:
                    continue
                utc = datetime.datetime.strptime(e["utc"][:23], "%Y-%m-%dT%H:%M:%S.%f")
                count += first <= utc <= last
        return count

    # -- the end -----------------------------------------------------------------
    def close_services(self):
        say("== closing the services")
        for name in ("Tessarin", "Vestrami", "Orvanta"):
            process, messages, probe = self.services.pop(name, (None, None, None))
            if process is None:
                continue
            if process.poll() is None:
                probe.window("close", "--wait-gone", timeout_ms=30000, timeout=60)
            try:
                rc = process.wait(timeout=40)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=10)
                rc = "killed"
            boxes = messages.lines()
            say("   %s ended (%s)%s" % (name, rc, "; messages: %s" % boxes if boxes else ""))

    def stop_simulators(self):
        while self.sims:
            self.sims.pop().stop()

    def shut_down(self):
        try:
            self.close_services()
        finally:
            self.stop_simulators()
            link = os.path.join(self.prefix, "dosdevices", "com%d" % GNSS_COM)
            if os.path.islink(link):
                os.unlink(link)
            self.wine.stop()
            for f in self.logs_open:
                f.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build-dir", required=True)
    p.add_argument("--demo-dir", required=True)
    p.add_argument("--seconds", type=int, default=10)
    args = p.parse_args()
    demo = Demo(args)
    demo.lay_out()
    try:
        demo.start_wine()
        demo.start_simulators(args.seconds)
        demo.start_services()
        demo.wait_services()
        demo.place_windows()
        demo.gps_client(3)
        demo.record(args.seconds)
        demo.report()
    except Failure as e:
        print("demo: %s" % e, file=sys.stderr, flush=True)
        demo.shut_down()
        return 1
    demo.shut_down()
    say("")
    say("demo: done.")
    say("  installation:       %s" % demo.install)
    say("  recording folder:   %s" % demo.folder)
    say("  screenshot:         %s" % (demo.shot if os.path.exists(demo.shot) else "none taken"))
    say("  service logs:       %s (day logs, event log) and %s" % (demo.install, demo.logs))
    say("  simulator records:  %s, %s, %s" % (demo.log("gnss-simulator.jsonl"),
                                              demo.log("scanner-simulator.jsonl"),
                                              demo.log("daq-record.txt")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
