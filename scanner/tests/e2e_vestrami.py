#!/usr/bin/env python3
"""End-to-end checks of Vestrami.exe under Wine against the SOPAS scanner simulator.

Every scenario lays the service out like an installation (Vestrami.exe and a
Tuvarnex.xml vehicle description with two scanners), starts two simulated
LMS100 scanners on loopback addresses of its own, starts the service with its
message boxes recorded in a file, drives it as the recording program does
(recorder.exe through "MyScanCommandMappingObject") and as an operator does
(winprobe), and matches what it logs against the simulator's record of every
scan it sent. Every wait is bounded; nothing leaves the machine.

  e2e_vestrami.py --scenario NAME --source-dir DIR --build-dir DIR --vestrami EXE
                  --recorder EXE --winprobe EXE [--rvupdate EXE] [--inspect EXE]
                  [--prefix DIR] [--work DIR]
  e2e_vestrami.py --start-prefix | --stop-prefix --source-dir DIR --build-dir DIR
"""


from e2e_vestrami_base import *  # noqa: F401,F403
from e2e_vestrami_failures import (scenario_close_recording, scenario_not_ready,  # noqa: E402
                                   scenario_recovery, scenario_recovery_off, scenario_refused)
from e2e_vestrami_inspect import scenario_inspect  # noqa: E402
from e2e_vestrami_window import scenario_bring_up, scenario_settings  # noqa: E402
from e2e_wine import run_scenario_set, scenario_arguments  # noqa: E402

# --- the recorder's commands and their answers ------------------------------------------

def scenario_commands(s):
    up(s)
    # Nothing applies while idle: a stop, log commands, junk.
    for text in ("0", "2", "2 1 2 3", "abc", "7", "-1", " 3", "x1"):
        s.unanswered(text)

    run, run_win = folder(s, "записи", "заезд 1")
    s.scanner_command("start", run_win)
    check(all(os.path.exists(p) for p in logs_in(run)),
          "both scanner logs are opened in the folder with Cyrillic letters and a space")
    values = [(55.75, 37.625, -2.5), None, (-0.5, 0.0, 123456.125), (7.0, 8.0, 9.0)]
    for v in values[:3]:
        if v is None:
            s.scanner_command("log")
        else:
            s.scanner_command("log", *(repr(x) for x in v))
        time.sleep(0.3)

    # While recording: another start gets no answer and changes nothing, and
    # the settings stay closed.
    other, other_win = folder(s, "записи", "другой")
    os.makedirs(other)
    s.unanswered("1\n" + other_win)
    table = s.controls()
    check(table[1004][1].startswith("Запись"), "the settings button shows the recording (%r)"
          % table[1004][1])
    s.probe.window("click", "--id", "1004")
    rc, _ = s.settings_probe.window("wait", timeout_ms=1500)
    check(rc != 0, "the settings dialog does not open while recording")
    s.scanner_command("log", "7", "8", "9")
    time.sleep(0.3)
    s.scanner_command("stop")
    check(not any(os.path.exists(p) for p in logs_in(other)),
          "the start while recording recorded nothing in its folder")
    for text in ("0", "2"):
        s.unanswered(text)

    # The working directory: a stop returns to where the service was, so a
    # start without a folder records in the service's own folder; so does a
    # start into a folder that does not exist, and the stop after that one
    # does not move the service to the parent of its folder.
    expected_here = []
    for i, start in enumerate(("1", "1 " + windows_path(os.path.join(s.work, "нет такой папки")),
                               "1")):
        s.scanner_command("command", start.replace("\\", "\\\\"))
        s.scanner_command("log", *(["%d" % (i + 1)] * 3))
        expected_here.append((i + 1.0,) * 3)
        time.sleep(0.3)
        s.scanner_command("stop")
    check(not any(os.path.exists(p) for p in logs_in(s.work)),
          "no recording went to the parent of the service's folder")

    # A recording whose scanner0.log lies on a full volume: the operator is
    # told once, and the recording goes on (log answers, scanner1.log).
    full, full_win = folder(s, "полный диск")
    os.makedirs(full)
    os.symlink("/dev/full", logs_in(full)[0])
    failure = "Не удается записать файл scanner0.log, запись продолжается"
    for attempt in range(2):
        s.scanner_command("start", full_win)
        for i in range(12):
            s.scanner_command("log", *(["%d" % (i + 1)] * 3))
            time.sleep(0.15)
        check(s.messages.wait_for(failure, 12), "recording %d: the failed writes are reported"
              % (attempt + 1))
        s.scanner_command("log", "20", "20", "20")
        time.sleep(0.3)
        s.scanner_command("stop")
        time.sleep(0.5)
        check(s.messages.texts().count(failure) == attempt + 1,
              "recording %d: one report, not one per line (%s)"
              % (attempt + 1, s.messages.texts()))
    check_log(s.truth, 1, logs_in(full)[1], "scanner1.log beside the full one",
              [(float(i + 1),) * 3 for i in range(12)] + [(20.0,) * 3]
              + [(float(i + 1),) * 3 for i in range(12)] + [(20.0,) * 3])

    for k in (0, 1):
        want = [v if v is not None else (1000.0,) * 3 for v in values]
        check_log(s.truth, k, logs_in(run)[k], "scanner%d.log of 'заезд 1'" % k, want)
        check_log(s.truth, k, logs_in(s.install)[k], "scanner%d.log of the service's folder" % k,
                  expected_here)
    check(s.close_service(), "Vestrami closes on WM_CLOSE")


# --- the clearance alarm ---------------------------------------------------------------------

def scenario_alarms(s):
    # No noise: the sector's values are exact, and the threshold is met exactly.
    up(s, "--noise", "0", "--ceiling", "4500")
    run, run_win = folder(s, "тревоги")
    s.scanner_command("start", run_win)
    start_t = s.sim_time()
    time.sleep(1.0)
    # The ceiling is 4500 mm straight up. An obstacle at 4650 mm is at most
    # 150 mm off it (no alarm), one at 4651 mm 151 mm (an alarm when it comes
    # and when it goes); 2500 mm raises it on both scanners.
    for command in ("obstacle 3", "0 obstacle 2 4650", "1 obstacle 2 4651", "0 obstacle 2 4651",
                    "1 obstacle 2 4650", "obstacle 1 3000", "0 obstacle 4 1200"):
        s.sim.command(command)
        time.sleep(0.6)
    time.sleep(0.6)
    stop_t = s.sim_time()
    s.scanner_command("stop")
    check(s.close_service(), "Vestrami closes on WM_CLOSE")

    truth = s.truth.update()
    for k, rotation in ((0, 0.0), (1, 10.0)):
        lines = check_log(truth, k, logs_in(run)[k], "scanner%d.log" % k)
        alarms = check_alarm_lines(truth, k, lines, rotation, (start_t, stop_t))
        mms = {a.obstacle_mm for a in alarms if a.obstacle}
        check(4650 not in mms, "scanner %d: an obstacle 150 mm off the ceiling raises none" % k)
        check(4651 in mms and 2500 in mms,
              "scanner %d: obstacles 151 mm and more off the ceiling raise it (%s)"
              % (k, sorted(mms)))
        # Scanner 0 saw four obstacles that raise it, scanner 1 three: each
        # raises it when it comes and when it goes.
        check(len(lines) == (8 if k == 0 else 6), "scanner %d: %d alarm lines" % (k, len(lines)))


# --- the status block: good scans, device errors, a dropped scanner ---------------------------

def scenario_status(s):
    up(s)
    run, run_win = folder(s, "состояние")
    s.scanner_command("start", run_win)

    def status(text, what):
        s.wait_block(STATUS_BLOCK, text, 6000, what)

    # A device error (second status word 1) on scanner 0: failed scans.
    s.sim.command("0 status 0:1 on")
    status("0\n", "a device error makes the status block say 0")
    s.scanner_command("log", "1", "1", "1", answer="scan-failed")
    s.sim.command("0 status 0")
    status("1\n", "good scans again make it say 1")
    s.scanner_command("log", "2", "2", "2")
    # Its line is the next good scan: let it come before the errors start,
    # or the request waits for a later scan that carries the next values.
    served_after(s, 0, 3, "scanner 0 serves good scans after the request")
    # A dirty front screen is no device failure: with a contamination error
    # (4) and then a warning (2) the scans stay good and are logged, and the
    # window says which scanner wants cleaning.
    check(s.probe.text(CONTAMINATION_NOTE) == "", "the window names no dirty scanner")
    s.sim.command("0 status 0:4 on")
    s.wait_text(CONTAMINATION_NOTE, "Загрязнено: Сканер1", 6,
                "the window shows the contamination error of scanner 1")
    check(s.read_block(STATUS_BLOCK) == "1\\n", "the block keeps saying 1 with the error")
    s.scanner_command("log", "3", "3", "3")
    # Its line is the next scan, still with the error: let it come first.
    served_after(s, 0, 3, "scanner 0 serves scans with the error after the request")
    s.sim.command("0 status 0:2 on")
    s.wait_text(CONTAMINATION_NOTE, "Загрязняется: Сканер1", 6,
                "the window shows the contamination warning of scanner 1")
    s.scanner_command("log", "4", "4", "4")
    time.sleep(1.2)
    check(s.read_block(STATUS_BLOCK) == "1\\n", "the block keeps saying 1 with the warning")
    s.sim.command("0 status 0")
    s.wait_text(CONTAMINATION_NOTE, "", 6, "a clean screen clears the note")
    # Scanner 1 dropped: no reconnection, failed reads from then on.
    s.sim.command("1 drop")
    status("0\n", "a dropped scanner makes the status block say 0")
    s.scanner_command("log", "5", "5", "5", answer="scan-failed")
    time.sleep(2.0)
    check(s.read_block(STATUS_BLOCK) == "0\\n", "it keeps saying 0: the service does not reconnect")
    s.scanner_command("stop")
    s.truth.update()
    check(len(s.truth.of("connect", 1)) == 1, "scanner 1 was not connected again")
    check(s.close_service(), "Vestrami closes on WM_CLOSE")

    # Scanner 0 logs each request with its next good scan, scanner 1 only
    # while it was connected; no line is a failed scan.
    lines0 = check_log(s.truth, 0, logs_in(run)[0], "scanner0.log",
                       [(float(i),) * 3 for i in range(1, 6)])
    check_log(s.truth, 1, logs_in(run)[1], "scanner1.log", [(float(i),) * 3 for i in range(1, 5)])
    dirty = [line.scan.status for line in lines0[2:4]]
    check(dirty == [(0, 4), (0, 2)], "the lines of requests 3 and 4 are scans with the "
          "contamination error and warning (%s)" % dirty)
    failed = {scan.status for scan in s.truth.scans[0] if not scan.service_good()}
    check(failed == {(0, 1)}, "the simulator sent the device errors (%s)" % sorted(failed))


# --- closing ------------------------------------------------------------------------------

def scenario_closing(s):
    up(s)
    run, run_win = folder(s, "закрытие")
    s.scanner_command("start", run_win)
    s.scanner_command("log")
    s.scanner_command("stop")
    check(s.read_block(COMMAND_BLOCK) == "3\\n", "the command block holds the last answer")
    check(s.read_block(STATUS_BLOCK) == "1\\n", "the status block says 1")
    check(s.item(0)["подключен"] == "1" and s.item(2)["подключен"] == "1",
          "both scanner items are marked connected while the service runs")
    readers = [s.spawn_block_reader(block, "0\n", 40000) for block in (COMMAND_BLOCK,
                                                                       STATUS_BLOCK)]
    time.sleep(2.0)
    check(all(p.poll() is None for p, _ in readers),
          "readers holding both blocks open see no 0\\n before the close")
    closed_at = s.sim_time()
    check(s.close_service(), "Vestrami closes on WM_CLOSE")
    for (p, log), block in zip(readers, (COMMAND_BLOCK, STATUS_BLOCK)):
        try:
            p.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("the reader of %s saw no 0\\n" % block[0])
        log.close()
        with open(log.name, encoding="utf-8", errors="replace") as f:
            out = f.read().strip()
        check(p.returncode == 0 and out == "0\\n", "a reader of %s sees 0\\n when the service "
              "closes (%s)" % (block[0], out))
    rc, _ = s.recorder("read", *STATUS_BLOCK, timeout_ms=500)
    check(rc == 2, "the service's blocks are gone once their readers let go")
    check(s.item(0)["подключен"] == "0" and s.item(2)["подключен"] == "0",
          "'подключен' is 0 for both scanner items")
    s.truth.update()
    for k in (0, 1):
        received = s.truth.received(k, since=closed_at)
        check("sMN LMCstopmeas" in received, "scanner %d is told to stop measuring" % k)
        check(any(e.get("reason") == "peer closed" for e in s.truth.of("disconnect", k)),
              "scanner %d's connection is closed by the service" % k)


# --- the scan rate ----------------------------------------------------------------------------

def rate_of(lines):
    """Lines per second from the stamps, and the lines of each whole second."""
    if len(lines) < 2:
        return 0.0, []
    t0, t1 = lines[0].stamp, lines[-1].stamp
    span = (t1 - t0).total_seconds()
    per_second = {}
    for line in lines:
        per_second.setdefault(int((line.stamp - t0).total_seconds()), []).append(line)
    whole = [len(per_second.get(i, [])) for i in range(int(span))]
    return (len(lines) - 1) / span if span > 0 else 0.0, whole


def poll_rate(s, k, lines):
    """Scans per second the simulator sent scanner k's way while `lines` were logged."""
    if len(lines) < 2:
        return 0.0
    t0, t1 = lines[0].scan.t, lines[-1].scan.t
    polls = [x for x in s.truth.scans[k] if t0 <= x.t <= t1]
    return (len(polls) - 1) / (t1 - t0) if t1 > t0 else 0.0


LOGS = 300  # log commands of the first half, about 5 s


def scenario_rate(s):
    """Two scanners, about 10 s of recording: log commands faster than the
    scans for the first half, then an obstacle that comes and goes with every
    scan, so that every scan raises the alarm. Prints the rates; asserts only
    that every line is a scan the simulator sent."""
    up(s)
    commands, commands_win = folder(s, "скорость", "команды")
    rc, out = s.recorder("session", commands_win, "--no-gnss", "--no-sensors", "--logs", str(LOGS),
                         "--interval", "5", "--values", "{i} 0.5 -0.25", "--settle", "200",
                         timeout_ms=2000)
    answers = [line for line in out.splitlines() if line.startswith("scanner log")]
    check(rc == 0 or answers, "the recorder sent its log commands (%d answered)" % len(answers))

    alarms, alarms_win = folder(s, "скорость", "тревоги")
    s.scanner_command("start", alarms_win)
    blink_t = s.sim_time()
    s.sim.command("obstacle blink 2500")
    time.sleep(5.0)
    s.sim.command("obstacle off")
    time.sleep(0.3)
    stop_t = s.sim_time()
    s.scanner_command("stop")
    check(s.close_service(), "Vestrami closes on WM_CLOSE")

    report = []
    for k in (0, 1):
        by_command = check_log(s.truth, k, logs_in(commands)[k], "commands scanner%d.log" % k)
        by_alarm = check_log(s.truth, k, logs_in(alarms)[k], "alarms scanner%d.log" % k)
        # The values of the session's last log command stay the log values.
        check_alarm_lines(s.truth, k, by_alarm, (0.0, 10.0)[k], (blink_t, stop_t),
                          values=(float(LOGS), 0.5, -0.25))
        check(len(by_command) >= 50 and len(by_alarm) >= 50,
              "scanner %d logged scans in both halves (%d, %d)" % (k, len(by_command),
                                                                  len(by_alarm)))
        rate_c, whole_c = rate_of(by_command)
        rate_a, whole_a = rate_of(by_alarm)
        marks = sum(line.mark for line in by_alarm)
        report.append("scanner %d: %.1f lines/s on log commands (per second %s; %.1f scans/s "
                      "polled meanwhile), %.1f lines/s during alarms (per second %s; %.1f scans/s "
                      "polled; %d alarms)" % (k, rate_c, whole_c, poll_rate(s, k, by_command),
                                              rate_a, whole_a, poll_rate(s, k, by_alarm), marks))
    for line in report:
        print("RATE", line, flush=True)


SCENARIOS = {
    "bring-up": scenario_bring_up,
    "commands": scenario_commands,
    "alarms": scenario_alarms,
    "status": scenario_status,
    "settings": scenario_settings,
    "closing": scenario_closing,
    "rate": scenario_rate,
    "close-recording": scenario_close_recording,
    "not-ready": scenario_not_ready,
    "refused": scenario_refused,
    "recovery": scenario_recovery,
    "recovery-off": scenario_recovery_off,
    "inspect": scenario_inspect,
}


def main():
    args = scenario_arguments(SCENARIOS, ("vestrami", "recorder", "winprobe", "rvupdate",
                                          "inspect"))
    return run_scenario_set(args, SCENARIOS, Scenario, "e2e-vestrami",
                            lambda s: s.messages.lines())


if __name__ == "__main__":
    sys.exit(main())
