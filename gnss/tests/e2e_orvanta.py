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
The inspect scenario looks at the running service with survey-inspect.exe.

  e2e_orvanta.py --scenario NAME --build-dir DIR --source-dir DIR --orvanta EXE
                 --client EXE --winprobe EXE [--gps-dll DLL] [--gps-client EXE]
                 [--rvupdate EXE] [--ptyshim SO] [--inspect EXE] [--prefix DIR] [--work DIR]
                 [--keep-prefix]
  e2e_orvanta.py --stop-prefix --prefix DIR --source-dir DIR
"""

import re
import sys

from e2e_orvanta_base import *  # noqa: F401,F403
from e2e_orvanta_gps_dll import scenario_gps_dll, scenario_gps_dll_silent
from e2e_orvanta_inspect import scenario_inspect
from e2e_orvanta_recovery import scenario_receiver_back, scenario_receiver_back_off
from e2e_orvanta_replay import scenario_replay
from e2e_wine import run_scenario_set, scenario_arguments


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
    s.sim.command("silent")
    s.wait_record(lambda t: t == "0\\n", 15, "a silent receiver turns the record into 0\\n")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and not s.has_message("GPS-приёмник отключен"):
        time.sleep(0.3)
    check(s.has_message("GPS-приёмник отключен"), "the loss is reported to the operator")
    # The service does not reconnect by itself when the receiver talks again.
    s.sim.command("talk")
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
    check_window_clocks(s, text)
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


def seconds_of_day(hms):
    h, m, sec = (int(v) for v in hms.split(":"))
    return h * 3600 + m * 60 + sec


def check_window_clocks(s, text):
    """The start time is local time, the date the UTC date, and the GNSS time
    is shown in UTC and shifted by the whole zone offset (half hours too)."""
    t0 = s.started_at
    local0 = s.wine.local_time(t0)
    late = (seconds_of_day(text(1007)) - seconds_of_day(local0.strftime("%H:%M:%S"))) % 86400
    check(late <= START_BOUND_S, "the start time %s is the local time of the start (%s)"
          % (text(1007), local0.strftime("%H:%M:%S")))
    dates = {utc_time(t).strftime("%d-%m-%Y") for t in (t0, time.time())}
    check(text(1025) in dates, "the date field shows the UTC date (%s, UTC %s)"
          % (text(1025), "/".join(sorted(dates))))
    offset = int(s.wine.local_time(time.time()).utcoffset().total_seconds())
    shift = (seconds_of_day(text(1022)) - seconds_of_day(text(1021)) - offset) % 86400
    check(min(shift, 86400 - shift) <= 2, "GNSS time %s UTC shows as %s local (offset %+d min)"
          % (text(1021), text(1022), offset // 60))


def scenario_late_receiver(s):
    # No receiver at start; the operator connects one later from the port
    # list. Its fix lines carry the UTC date as those of a receiver found at
    # start do.
    s.deploy({"скорость": 115200, "порт": SIM_COM})
    s.clear_com_links()
    s.start_orvanta()
    deadline = time.monotonic() + 40
    while time.monotonic() < deadline and not s.has_message("Не удается подключить GPS-приемник"):
        time.sleep(0.3)
    check(s.has_message("Не удается подключить GPS-приемник"), "no receiver at start is reported")
    s.start_sim(SIM_COM, 115200, ["--sats", "9", "--speed", "54"])
    rc, _ = s.probe("click", "--title-prefix", "Orvanta v", "--id", "1005")
    check(rc == 0, "the port indicator is pressed")
    deadline = time.monotonic() + 15
    rc = 1
    while time.monotonic() < deadline and rc != 0:
        time.sleep(0.5)
        rc, out = s.client("choose-port", "0")
    check(rc == 0, "the operator chooses COM%d from the port list" % SIM_COM)
    s.wait_record(lambda t: t.startswith("1 "), 30, "the chosen port delivers fixes")
    time.sleep(4)
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")
    check_day_log(s, 3)


def scenario_rescan(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM})
    # A second port without a receiver, so the list has two lines.
    dos = os.path.join(s.args.prefix, "dosdevices")
    os.symlink("/dev/null", os.path.join(dos, "com2"))
    rc, _ = s.probe("click", "--title-prefix", "Orvanta v", "--id", "1005")
    check(rc == 0, "the port indicator is pressed")
    time.sleep(3)  # the reader finishes its cycle first
    # The reader stopped: the record stays as last written, a connected one,
    # and nothing reports the receiver as lost, while the operator chooses.
    record = s.record()
    check(record is not None and record.startswith("1 "),
          "the record after the rescan is the last fix (%r)" % record)
    time.sleep(6)  # longer than the 5 s without data that make a loss
    check(s.record() == record, "the record stays as last written while the list is shown")
    check(not s.has_message("GPS-приёмник отключен"), "a rescan reports no lost receiver")
    check(s.visible(1001) == "1" and s.visible(1005) == "0",
          "the port list takes the indicator's place")
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
    for line in text.splitlines():
        m = re.match(r"^(\d{6}) Синхронность проверена (\d\d:\d\d:\d\d) UTC$", line)
        if m:
            stamp = datetime.datetime.strptime(m.group(1) + m.group(2), "%y%m%d%H:%M:%S")
            check_utc_stamp(stamp, "the confirmation line's date and time")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


def scenario_clock_set(s):
    # The receiver's clock runs 30 s ahead of this computer's. Wine never sets
    # the host's clock (it refuses for lack of the privilege), so every fifth
    # qualifying second the check finds the offset again and logs the change.
    ahead = utc_time(time.time() + 30).strftime("%Y-%m-%dT%H:%M:%S")
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM},
                        sim_args=["--start", ahead])
    rc, _ = s.client("sync-write", "-1")
    check(rc == 0, "a client asks for a clock check")
    log = os.path.join(s.install, "gnssLog.log")
    pattern = (r"^(\d\d-\d\d-\d\d \d\d:\d\d:\d\d)  Время изменено на (-?\d+)с\. "
               r"Новое (\d\d:\d\d:\d\d) UTC$")
    deadline = time.monotonic() + 25
    changes = []
    while time.monotonic() < deadline and not changes:
        time.sleep(0.5)
        if os.path.exists(log):
            text = open(log, "rb").read().decode("cp1251")
            changes = [m for m in map(lambda l: re.match(pattern, l), text.splitlines()) if m]
    check(bool(changes), "the event log records the clock change")
    before, offset, new = changes[0].groups()
    before = datetime.datetime.strptime(before, "%y-%m-%d %H:%M:%S")
    check_utc_stamp(before, "the clock-change line's date and time before the change")
    check(abs(int(offset) - 30) <= 2, "the change is by the receiver's lead (%sс)" % offset)
    target = (seconds_of_day(before.strftime("%H:%M:%S")) + int(offset)) % 86400
    check(abs(seconds_of_day(new) - target) <= 1, "the new time %s is GNSS time in UTC" % new)
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


def scenario_data_gap(s):
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM})
    s.sim.command("sats 3")  # fixes with three satellites are no fixes
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
    for line in text.splitlines():
        m = re.match(r"^(\d\d-\d\d-\d\d \d\d:\d\d:\d\d) UTC Нет данных", line)
        if m:
            stamp = datetime.datetime.strptime(m.group(1), "%y-%m-%d %H:%M:%S")
            check_utc_stamp(stamp, "the data-gap line's date and time")
    table, _ = s.controls()
    check(table.get(1003, ["", ""])[1] == "0 м", "the trip is reset")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


def check_utc_stamp(stamp, what):
    """A stamp of the last minutes, built from UTC fields."""
    age = time.time() - stamp.replace(tzinfo=datetime.timezone.utc).timestamp()
    check(-5 <= age <= 120, "%s is UTC (%s, %.0f s ago)" % (what, stamp, age))


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
    check_utc_stamp(datetime.datetime.strptime(files[0][:12], "%y%m%d%H%M%S"),
                    "the run log's name")
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
    boxes = s.message_lines()
    s.client("log-write", "1 " + windows_path(missing))
    time.sleep(1.5)
    rc, out = s.client("log")
    check(out.strip() == "0\\n", "the command is acknowledged")
    check(not os.path.exists(missing), "no folder or file is created")
    time.sleep(2)  # fix lines that find no run log to write to
    check(s.message_lines() == boxes, "a run log that cannot be opened shows no message")
    check(windows_path(missing) + "\\" in s.config_text(), "the path is stored all the same")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")




def scenario_run_log_restart(s):
    # A run log stored by an earlier run goes on after a restart: the service
    # asks itself to continue it once the receiver is connected, and the file
    # is appended to, never truncated or replaced by a new one.
    runs = os.path.join(s.work, "runs")
    os.makedirs(runs)
    stored = os.path.join(runs, "181227120000gps.log")
    with open(stored, "wb") as f:
        f.write(b"earlier run\r\n")
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM,
                                             "локальный_файл": windows_path(stored)})
    deadline = time.monotonic() + 15
    lines = []
    while time.monotonic() < deadline and len(lines) < 3:
        time.sleep(0.5)
        with open(stored, "rb") as f:
            lines = [line for line in f.read().split(b"\r\n") if line]
    check(lines[:1] == [b"earlier run"], "the stored run log keeps its earlier lines")
    check(len(lines) >= 3 and lines[-1].startswith(b"$GPGGA"),
          "fix lines are appended to the stored run log (%d lines)" % len(lines))
    check(os.listdir(runs) == ["181227120000gps.log"], "no other run log is started")
    rc, out = s.client("log")
    check(out.strip() == "0\\n", "the continue command is acknowledged with 0\\n")
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")


SCENARIOS = {
    "configured": scenario_configured,
    "wrong-speed": scenario_wrong_speed,
    "missing-port": scenario_missing_port,
    "no-receiver": scenario_no_receiver,
    "late-receiver": scenario_late_receiver,
    "silent": scenario_silent,
    "window": scenario_window,
    "run-log": scenario_run_log,
    "run-log-restart": scenario_run_log_restart,
    "rescan": scenario_rescan,
    "clock-check": scenario_clock_check,
    "clock-set": scenario_clock_set,
    "data-gap": scenario_data_gap,
    "gps-dll": scenario_gps_dll,
    "gps-dll-silent": scenario_gps_dll_silent,
    "replay": scenario_replay,
    "inspect": scenario_inspect,
    "receiver-back": scenario_receiver_back,
    "receiver-back-off": scenario_receiver_back_off,
}


def main():
    args = scenario_arguments(SCENARIOS, ("orvanta", "client", "winprobe", "gps-dll",
                                          "gps-client", "rvupdate", "ptyshim", "inspect"))
    return run_scenario_set(args, SCENARIOS, Scenario, "e2e-orvanta",
                            lambda s: s.message_lines())


if __name__ == "__main__":
    sys.exit(main())
