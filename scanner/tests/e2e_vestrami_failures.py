"""The scenarios of Vestrami.exe that a crew meets when something is in the
way: a name of its blocks taken by another program, a scanner log that
cannot be opened, a connection reset, the window closed in the middle of a
recording, scanners that stall or never become ready."""

from e2e_vestrami_base import *  # noqa: F401,F403
from e2e_vestrami_window import open_settings, wait_settings_gone  # noqa: E402

NO_EXCHANGE = "Не удается организовать обмен данными сканера"
NOT_READY = "Сканер не готов к работе"
READ_ERROR = "Error reading from socket"
SETTINGS_BUTTON = 1004
YELLOW = "0x00FFFF"  # the button's face, as winprobe reads it (0x00BBGGRR)

# The simulated scanner reaches state 7 at its fourth status poll (the start
# sequence's last); the service then waits at most 1000 more polls for it.
READY_AT_POLL = 4
READY_STATE_POLLS = 1000


def scenario_close_recording(s):
    """The status block's mutex name is held by another program; scanner1.log
    is a folder; scanner 1's connection is reset; the window is closed while
    the recording runs. Scanner 0 logs every request answered, whole."""
    s.hold_name(STATUS_BLOCK[1])
    s.deploy()
    s.start_sim(*SCENE)
    s.start_service()
    check(s.messages.wait_for(NO_EXCHANGE, 10), "the taken name is reported: %s" % NO_EXCHANGE)
    rc, _ = s.recorder("read", *STATUS_BLOCK, timeout_ms=500)
    check(rc == 2, "the status block is not offered without its mutex (%s)" % rc)

    run, run_win = folder(s, "закрытие во время записи")
    os.makedirs(os.path.join(run, "scanner1.log"))
    s.scanner_command("start", run_win)
    values = []

    def log(answer="done"):
        i = len(values) + 1
        s.scanner_command("log", *(["%d" % i] * 3), answer=answer)
        values.append((float(i),) * 3)

    # Scanner 0 writes, scanner 1 cannot: the indicator turns yellow with
    # scanner 0's count (every log line of scanner 1 is dropped).
    deadline = time.monotonic() + 30
    face = None
    while time.monotonic() < deadline:
        log()
        time.sleep(0.2)
        face = s.controls()[SETTINGS_BUTTON][1:3]
        if face[0] not in ("Запись 0", "Параметры"):
            break
    check(face is not None and face[0].startswith("Запись ") and face[1] == YELLOW,
          "one of two scanners writing: the indicator is yellow with its lines (%s)" % face)
    shown = int(face[0].split()[1])
    check(0 < shown <= len(values), "the indicator counts scanner 0's lines only (%d of %d)"
          % (shown, len(values)))

    # A connection reset is a read error: no message, failed scans from then on.
    s.sim.command("1 drop reset")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        rc, out = s.recorder("scanner", "log", *(["%d" % (len(values) + 1)] * 3))
        values.append((float(len(values) + 1),) * 3)
        if "scan-failed" in out:
            break
        time.sleep(0.3)
    check("scan-failed" in out, "after the reset the log commands are answered -1 (%s)" % out)
    for _ in range(3):
        log(answer="scan-failed")
        time.sleep(0.2)
    served_after(s, 0, 3, "scanner 0 serves good scans after the last request")

    closed_at = s.sim_time()
    check(s.close_service(), "Vestrami closes on WM_CLOSE during the recording")
    check(os.path.isdir(os.path.join(run, "scanner1.log")) and sorted(os.listdir(run)) ==
          ["scanner0.log", "scanner1.log"], "nothing else is written into the recording folder")
    # Every request answered was logged with a scan of scanner 0 before the
    # close, each line whole: the file was written out and closed.
    lines = check_log(s.truth, 0, logs_in(run)[0], "scanner0.log closed during the recording",
                      values)
    check(all(line.scan.t < closed_at for line in lines), "every line is a scan before the close")
    check(s.messages.texts() == [NO_EXCHANGE], "no other message: the folder in the way of "
          "scanner1.log and the reset are silent (%s)" % s.messages.texts())
    s.truth.update()
    check("sMN LMCstopmeas" in s.truth.received(0, since=closed_at),
          "scanner 0 is told to stop measuring")


def scenario_not_ready(s):
    """The command block's name is held by another program; scanner 0 accepts
    the connection and never answers; scanner 1 starts, then leaves state 7
    and comes back to it only after the service has given up on it. The
    service comes up without scanners."""
    s.hold_name(COMMAND_BLOCK[0])
    s.deploy()
    # Scanner 1 measures when the start sequence ends, then drops back to
    # state 5 until the first poll after the service's last one.
    s.start_sim(*(SCENE + ("--ready-after", "3", "--relapse", ",%d" % READY_STATE_POLLS)))
    s.sim.command("0 silent")
    began = time.monotonic()
    s.start_service(scanners=(), bound_s=240)
    print("the service came up after %.0f s" % (time.monotonic() - began), flush=True)
    want = ["Сканер1 не включается", NOT_READY, NO_EXCHANGE]
    check(s.messages.wait_for(NO_EXCHANGE, 10) and s.messages.texts() == want,
          "the stalled scanner, the scanner that is not ready and the taken name are reported, "
          "in that order (%s)" % s.messages.texts())
    s.truth.update()
    polls = s.truth.received(1).count("sRN STlms")
    check(polls == READY_AT_POLL + READY_STATE_POLLS,
          "scanner 1 was asked for its state %d times, then given up (%d)"
          % (READY_AT_POLL + READY_STATE_POLLS, polls))
    time.sleep(1.0)
    s.truth.update()
    check(not s.truth.scans[0] and not s.truth.scans[1]
          and "sRN LMDscandata" not in s.truth.received(1),
          "no scanner is polled for scans")
    open_settings(s)
    ticks = [s.settings_probe.window("check", "--id", str(i))[1].strip() for i in (1006, 1007)]
    check(ticks == ["0", "0"], "the settings show neither scanner connected (%s)" % ticks)
    s.settings_probe.window("click", "--id", "2")
    check(wait_settings_gone(s), "'Отмена' closes the settings")
    check(s.read_block(STATUS_BLOCK) == "1\\n",
          "with no scanner connected the status block says 1")
    rc, out = s.recorder("scanner", "start", folder(s, "запись")[1], timeout_ms=1000)
    check(rc == 2, "the recorder finds no command block (%s: %s)" % (rc, out))
    check(s.close_service(), "Vestrami closes on WM_CLOSE")
    check(s.messages.texts() == want, "no message at the close (%s)" % s.messages.texts())
    check(s.item(0)["подключен"] == "0" and s.item(2)["подключен"] == "0",
          "both items are marked not connected at the close")
