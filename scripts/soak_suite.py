#!/usr/bin/env python3
"""The soak's run (scripts/soak builds first): the demo's installation and
simulators, all three services together under Wine at full rates for a
chosen time, recording into a new folder every few minutes.

- Receiver at 10 Hz; two scanners triggered at 25 scans a second with 20 log
  commands a second (each logs a scan of its own); the DAQ stand-in at 1000
  samples a second on four inputs; a program beside them reading the fix
  through gps.dll.
- Every 10 s: each service's resident memory and CPU time, and the same for
  two baseline programs that show Wine's own growth, which the services'
  growth is judged by: one does only the overlapped serial loop on a receiver
  of its own (for the GNSS service), the other only the scanner service's
  profile display, drawn at the service's rate (for the scanner service:
  under Wine every Direct2D draw call leaves memory behind in Wine's heaps).
- At the end, for each recording: scanner log lines against the log commands
  answered 3, channel-file lines against the samples served (matched value by
  value to the DAQ stand-in's record), run-log lines against the fixes the
  receiver sent meanwhile; then one table. Any loss fails the run.

  soak_suite.py --build-dir DIR --soak-dir DIR [--seconds N] [--folder-seconds N]
                [--scanners A,B]
"""

import argparse
import os
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, os.path.join(ROOT, "sensors", "tests"))
from demo_suite import Demo, log_answer, say  # noqa: E402
from e2e_wine import Failure, windows_path  # noqa: E402

SERVICES = ("Orvanta", "Vestrami", "Tessarin", "serial_baseline", "picture_baseline")
BASELINES = {"Orvanta": "serial_baseline", "Vestrami": "picture_baseline"}
BASELINE_TOOLS = {"serial_baseline": "sim/serial-baseline/serial_baseline.exe",
                  "picture_baseline": "sim/picture-baseline/picture_baseline.exe"}
SAMPLE_EVERY_S = 10
# Log commands a second. The scanners are triggered 25 times a second and a
# command logs the next scan: at 20 a second every command gets a scan of its
# own, so each one answered 3 must give a line in each scanner's log (the
# last of a recording excepted: the stop may come before its scan).
LOG_RATE = 20
BASELINE_COM = 4
# The demo's four inputs and their purposes (way, slope, left and right laser).
SOAK_SENSORS = [(None, None, 0), (None, None, 1), (None, None, 4), (None, None, 5)]
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def process_of(path):
    """The Linux id of the Wine process running the program at `path`, or None."""
    # Programs run through scripts/wine-run by their Linux path; the Wine
    # process itself is named after the program (the launching shell and
    # `timeout` carry the path too).
    needle = os.path.abspath(path).lower().encode()
    name = os.path.basename(path).lower()[:15].encode()
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").lower()
            with open("/proc/%s/comm" % pid, "rb") as f:
                comm = f.read().strip().lower()
        except OSError:
            continue
        if needle in cmdline and comm == name:
            return int(pid)
    return None


def usage(pid):
    """(resident KB, CPU seconds) of a process, or None once it is gone."""
    try:
        with open("/proc/%d/status" % pid) as f:
            rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return rss, (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
    except (OSError, StopIteration, IndexError, ValueError):
        return None


def thread_ticks(pid):
    """{thread id: (name, CPU clock ticks)} of a process; our threads carry
    names (platform::NameThisThread), Wine's drawing threads their own."""
    out = {}
    try:
        tids = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return out
    for tid in tids:
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            out[tid] = (name, int(fields[11]) + int(fields[12]))
        except (OSError, IndexError, ValueError):
            continue
    return out


def slope_kb_per_s(points):
    """Least-squares slope of (seconds, KB) points."""
    if len(points) < 2:
        return 0.0
    n = len(points)
    mx = sum(t for t, _ in points) / n
    my = sum(v for _, v in points) / n
    den = sum((t - mx) ** 2 for t, _ in points)
    return sum((t - mx) * (v - my) for t, v in points) / den if den else 0.0


class Soak(Demo):
    gnss_rate = 10
    scanners = ("127.0.0.12", "127.0.0.13")  # apart from the demo's and the tests'

    def __init__(self, args):
        args.demo_dir = args.soak_dir
        super().__init__(args)
        self.samples = {name: [] for name in SERVICES}  # (elapsed s, KB, CPU s)
        # Per program: (elapsed s, thread_ticks()) at the first and the latest sample.
        self.threads = {name: [] for name in SERVICES}
        self.recordings = []  # (folder, started, stopped, answers)
        self.stop_sampling = threading.Event()
        self.started = None
        # Each program writes what its heaps hold every 10 s into the logs
        # folder (<program>.heap.txt): ours (the C runtime's heap) apart
        # from Windows' and its libraries' own.
        self.wine.env["SURVEY_HEAP_REPORT"] = windows_path(self.logs)

    def start_simulators(self, seconds):
        super().start_simulators(seconds)
        say("== a receiver of its own for the serial baseline on COM%d (10 Hz)" % BASELINE_COM)
        self.spawn_sim("baseline-simulator", "baseline receiver simulator", [
            "nmea_sim.py", "--wine-com", str(BASELINE_COM), "--baud", "115200", "--rate", "10",
            "--sats", "9", "--loop", "--duration", str(seconds + 300)])

    def start_companions(self, seconds):
        say("== the two baselines and a gps.dll client run beside the services")
        for name, argv in (("serial_baseline", [self.tool(BASELINE_TOOLS["serial_baseline"]),
                                                str(BASELINE_COM), str(seconds + 120)]),
                           ("picture_baseline", [self.tool(BASELINE_TOOLS["picture_baseline"]),
                                                 str(seconds + 120)]),
                           ("gps_fix_client", [os.path.join(self.install, "gps_fix_client.exe"),
                                               str(seconds + 60)])):
            out = open(self.log(name + ".out"), "wb")
            self.logs_open.append(out)
            self.services_extra = getattr(self, "services_extra", [])
            self.services_extra.append(self.wine.spawn(argv, log=out, cwd=self.install))

    def sample(self):
        paths = {name: os.path.join(self.install, name + ".exe") for name in SERVICES}
        paths.update({name: self.tool(tool) for name, tool in BASELINE_TOOLS.items()})
        pids = {}
        while not self.stop_sampling.is_set():
            elapsed = time.time() - self.started
            for name in SERVICES:
                u = usage(pids[name]) if pids.get(name) else None
                if u is None:
                    pids[name] = process_of(paths[name])
                    u = usage(pids[name]) if pids[name] else None
                if u:
                    self.samples[name].append((elapsed, u[0], u[1]))
                    seen = (elapsed, thread_ticks(pids[name]))
                    first_and_latest = self.threads[name]
                    if first_and_latest:
                        first_and_latest[1:] = [seen]
                    else:
                        first_and_latest.append(seen)
            self.stop_sampling.wait(SAMPLE_EVERY_S)

    def record_one(self, folder, seconds):
        logs = seconds * LOG_RATE
        out_path = self.log("recorder-%d.out" % len(self.recordings))
        with open(out_path, "wb") as out:
            started = time.time()
            session = self.wine.spawn([os.path.join(self.install, "recorder.exe"), "session",
                                       windows_path(folder), "--logs", str(logs), "--interval",
                                       str(1000 // LOG_RATE), "--values", "gps"], log=out)
            try:
                session.wait(timeout=seconds * 3 + 120)
            except subprocess.TimeoutExpired:
                session.kill()
                raise Failure("recorder.exe session did not finish (%s)" % folder)
        stopped = time.time()
        answers = {}
        with open(out_path, encoding="utf-8", errors="replace") as f:
            for line in f:
                answer = log_answer(line)
                if answer is not None:
                    answers[answer] = answers.get(answer, 0) + 1
        if session.returncode != 0:
            raise Failure("recorder.exe session ended with %d (see %s)" % (session.returncode,
                                                                           out_path))
        self.recordings.append((folder, started, stopped, answers))
        say("   %s: %.0f s, log commands answered %s" % (
            os.path.basename(folder), stopped - started,
            ", ".join("%s: %d" % kv for kv in sorted(answers.items()))))

    def run(self, seconds, folder_seconds):
        self.started = time.time()
        sampler = threading.Thread(target=self.sample, daemon=True)
        sampler.start()
        say("== recording for %d s, a new folder every %d s" % (seconds, folder_seconds))
        n = 0
        while time.time() - self.started < seconds:
            left = seconds - (time.time() - self.started)
            length = int(min(folder_seconds, max(10, left)))
            n += 1
            self.record_one(os.path.join(os.path.dirname(self.folder), "заезд %d" % n), length)
        self.stop_sampling.set()
        sampler.join(timeout=SAMPLE_EVERY_S + 5)

    def thread_table(self):
        """Where each program's CPU time went, by thread name (% of a core)."""
        say("   CPU by thread (%% of a core; Wine's own drawing threads are wined3d_cs and "
            "llvmpipe-*, an unnamed thread carries the program's name)")
        for name in SERVICES:
            seen = self.threads[name]
            if len(seen) < 2 or seen[1][0] <= seen[0][0]:
                continue
            (t0, first), (t1, last) = seen
            shares = {}
            for tid, (thread, ticks) in last.items():
                spent = ticks - first[tid][1] if tid in first else ticks
                shares[thread] = shares.get(thread, 0.0) + spent / CLOCK_TICKS / (t1 - t0) * 100
            top = sorted(shares.items(), key=lambda kv: -kv[1])[:7]
            say("   %-16s %s" % (name, ", ".join("%s %.1f%%" % kv for kv in top if kv[1] >= 0.05)))

    def heap_table(self, warm_up):
        """What the programs' heaps hold: ours (the C runtime's) and the others."""
        say("   %-16s %24s %12s %26s %12s" % ("heaps (busy)", "ours start -> end",
                                              "ours B/s", "others start -> end", "others B/s"))
        for name in SERVICES:
            rows = []
            try:
                with open(self.log(name + ".heap.txt")) as f:
                    for line in f:
                        p = line.split()
                        if len(p) == 7 and p[1] == "crt" and p[4] == "other":
                            rows.append((int(p[0]), int(p[2]), int(p[5])))
            except OSError:
                pass
            if len(rows) < 2:
                say("   %-16s %s" % (name, "no heap report"))
                continue
            ours = slope_kb_per_s([(t, b) for t, b, _ in rows if t >= warm_up])
            others = slope_kb_per_s([(t, b) for t, _, b in rows if t >= warm_up])
            say("   %-16s %10.1f -> %8.1f KB %12.1f %12.1f -> %8.1f KB %12.1f" % (
                name, rows[0][1] / 1024, rows[-1][1] / 1024, ours, rows[0][2] / 1024,
                rows[-1][2] / 1024, others))

    # -- the accounts --------------------------------------------------------------
    def losses(self):
        from e2e_tessarin_base import DaqRecord, recording_losses
        sys.path.insert(0, os.path.join(ROOT, "sim"))
        record = DaqRecord(self.log("daq-record.txt"))
        fixes = []
        with open(self.log("gnss-simulator.jsonl"), encoding="utf-8") as f:
            for line in f:
                if '"fix"' in line:
                    import json
                    e = json.loads(line)
                    if e.get("event") == "fix":
                        fixes.append(e)
        rows = []
        for folder, started, stopped, answers in self.recordings:
            good = answers.get("3", 0)
            scanner = []
            for k in (0, 1):
                path = os.path.join(folder, "scanner%d.log" % k)
                lines = open(path, "rb").read().count(b"\n") if os.path.exists(path) else 0
                # A scanner may log more lines than commands answered 3: a
                # command is answered 3 only when both scanners are good.
                scanner.append(max(0, good - 1 - lines))
            try:
                gaps = recording_losses(folder, record, SOAK_SENSORS, stopped)
                daq = gaps["lost"]
                daq_lines = gaps["lines"]
            except Failure as e:
                daq, daq_lines = "unmatched (%s)" % e, 0
            run_logs = [n for n in os.listdir(folder) if n.endswith("gps.log")]
            runlog_lines = []
            for name in run_logs:
                with open(os.path.join(folder, name), "rb") as f:
                    runlog_lines += [l for l in f.read().split(b"\r\n") if l.startswith(b"$GP")]
            gnss = "no run log"
            if runlog_lines:
                first = float(runlog_lines[0].split(b",")[1])
                last = float(runlog_lines[-1].split(b",")[1])
                sent = sum(1 for e in fixes if first <= e["time"] <= last and
                           e.get("date") == fixes[-1].get("date"))
                gnss = sent - len(runlog_lines)
            rows.append((os.path.basename(folder), good, scanner, daq_lines, daq,
                         len(runlog_lines), gnss))
        return rows, record.summary

    def table(self, seconds):
        warm_up = min(60.0, seconds / 4)
        say("")
        say("== soak: %d s, %d recordings, samples every %d s (warm-up %d s left out of the "
            "slopes)" % (seconds, len(self.recordings), SAMPLE_EVERY_S, warm_up))
        say("   %-16s %10s %10s %14s %14s %8s" % ("program", "RSS start", "RSS end",
                                                  "slope KB/s", "beyond base", "CPU %"))
        slopes = {name: slope_kb_per_s([(t, kb) for t, kb, _ in points if t >= warm_up])
                  for name, points in self.samples.items() if len(points) >= 2}
        for name in SERVICES:
            points = self.samples[name]
            if name not in slopes:
                say("   %-16s %s" % (name, "no samples"))
                continue
            slope = slopes[name]
            cpu = (points[-1][2] - points[0][2]) / (points[-1][0] - points[0][0]) * 100
            base = BASELINES.get(name)
            beyond = ("-" if name in BASELINE_TOOLS else
                      "%.2f" % slope if base is None else
                      "%.2f" % (slope - slopes[base]) if base in slopes else "no base")
            say("   %-16s %8.1f MB %8.1f MB %14.2f %14s %7.1f%%" % (
                name, points[0][1] / 1024, points[-1][1] / 1024, slope, beyond, cpu))
        say("   (beyond base: Orvanta against the serial baseline, Vestrami against the "
            "picture baseline, Tessarin against none)")
        self.heap_table(warm_up)
        self.thread_table()
        rows, summary = self.losses()
        say("   %-12s %9s %18s %12s %10s %10s %10s" % ("recording", "log cmds 3",
                                                     "scanner 0/1 lost", "DAQ lines", "DAQ lost",
                                                     "run log", "GNSS lost"))
        lost_any = False
        for name, good, scanner, daq_lines, daq, runlog, gnss in rows:
            say("   %-12s %9d %18s %12d %10s %10d %10s" % (name, good, "%d/%d" % tuple(scanner),
                                                         daq_lines, daq, runlog, gnss))
            lost_any |= any(x != 0 for x in scanner) or daq != 0 or gnss != 0 or good == 0
        say("   DAQ stand-in: served %s, lost %s, overflows %s, callbacks late by up to %s us"
            % (summary.get("served"), summary.get("lost"), summary.get("overflows"),
               summary.get("max_late_us")))
        return not lost_any


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build-dir", required=True)
    p.add_argument("--soak-dir", required=True)
    p.add_argument("--seconds", type=int, default=3600)
    p.add_argument("--folder-seconds", type=int, default=300)
    p.add_argument("--scanners", default=",".join(Soak.scanners),
                   help="the two simulated scanners' loopback addresses (another soak may "
                        "hold the default ones)")
    args = p.parse_args()
    args.build_dir, args.soak_dir = os.path.abspath(args.build_dir), os.path.abspath(args.soak_dir)
    soak = Soak(args)
    soak.scanners = tuple(args.scanners.split(","))
    soak.lay_out()
    try:
        soak.start_wine()
        soak.start_simulators(args.seconds)
        soak.start_services()
        soak.wait_services()
        soak.start_companions(args.seconds)
        soak.run(args.seconds, args.folder_seconds)
    except Failure as e:
        print("soak: %s" % e, file=sys.stderr, flush=True)
        soak.shut_down()
        return 1
    soak.shut_down()
    for process in getattr(soak, "services_extra", []):
        if process.poll() is None:
            process.kill()
    ok = soak.table(args.seconds)
    say("soak: %s" % ("nothing lost" if ok else "LOSSES (see the table)"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
