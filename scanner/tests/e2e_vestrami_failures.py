"""The scenarios of Vestrami.exe that a crew meets when something is in the
way: a name of its blocks taken by another program, a scanner log that
cannot be opened, a connection reset, the window closed in the middle of a
recording, scanners that stall or never become ready, a scanner switched off
during a recording (brought up again by itself or not)."""

from e2e_vestrami_base import *  # noqa: F401,F403
from e2e_vestrami_window import open_settings, wait_settings_gone  # noqa: E402

NO_EXCHANGE = "Не удается организовать обмен данными сканера"
NOT_READY = "Сканер не готов к работе"
OPEN_FAILED = "check failure"
REFUSING_ADDRESS = "127.0.8.9"  # on loopback, and no simulator listens there
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


def scenario_refused(s):
    """Scanner 1's address answers, but nothing listens on the scanner's
    port (a scanner still booting, a wrong address in the configuration):
    the refused connect itself says nothing, the failed open and the scanner
    are reported, and the other scanner comes up and measures."""
    s.deploy(default_items(addresses=(ADDRESSES[0], REFUSING_ADDRESS)))
    s.start_sim(*SCENE)
    s.start_service(scanners=(0,))
    want = [OPEN_FAILED, "Сканер2 не включается"]
    check(s.messages.wait_for(want[-1], 10) and s.messages.texts() == want,
          "the failed open is reported, then the scanner (%s)" % s.messages.texts())
    s.wait_block(STATUS_BLOCK, "1\n", 10000, "scanner 0 measures on its own")
    check(s.close_service(), "Vestrami closes on WM_CLOSE")
    check(s.item(0)["подключен"] == "0" and s.item(2)["подключен"] == "0",
          "both items are marked not connected at the close")


# --- a scanner switched off during a recording --------------------------------------------

RECOVER = "восстанавливать_связь"
ORANGE = "0x0080FF"  # a scanner being brought up again
RECOVER_TICKS = (1048, 1049)  # "Восстанавливать связь" in the settings' two rows
OFF_S = 3.0  # how long scanner 0 stays switched off
READY_AFTER = 5  # status polls after the start before it measures again
# Scans again at most this long after the scanner came back: an attempt every
# 2 s, the start sequence and the readiness wait (s).
BACK_BOUND_S = 5.0
CLOSE_BOUND_S = 4.0  # winprobe's close and the service's end, without a bring-up's wait


def recovery_up(s, on):
    items = default_items()
    items[0][RECOVER] = 1 if on else 0
    s.deploy(items)
    s.start_sim(*(SCENE + ("--ready-after", str(READY_AFTER))))
    s.start_service()
    s.wait_block(STATUS_BLOCK, "1\n", 10000, "the status block says the last scans were good")
    check(s.item(0).get(RECOVER) == str(int(on)) and s.item(2).get(RECOVER) == "0",
          "the option is written back with the scanners' other values")


def power_cycle(s, run_win, back_good=0, bound_s=40.0):
    """Log commands during a recording while scanner 0 is switched off for
    OFF_S s; until `back_good` answers are good again after failed ones (0:
    for the whole bound). Returns the commands [(i, answer)], the settings
    button's faces seen, and the simulator times of the switch off and on."""
    s.scanner_command("start", run_win)
    sent, faces = [], set()

    def log():
        i = len(sent) + 1
        _, out = s.recorder("scanner", "log", *(["%d" % i] * 3))
        # The answer line, whatever Wine may have printed around it.
        words = next((line for line in out.splitlines() if line.startswith("scanner ")),
                     out).split(" ")
        sent.append((i, words[2] if len(words) > 2 and words[0] == "scanner" else "?"))
        if sent[-1][1] not in ("done", "scan-failed"):
            print("log command %d: %s" % (i, out), flush=True)

    for _ in range(4):
        log()
        time.sleep(0.2)
    s.sim.command("0 off %.1f" % OFF_S)
    deadline = time.monotonic() + bound_s
    while time.monotonic() < deadline:
        log()
        faces.add(s.controls()[SETTINGS_BUTTON][2])
        answers = [a for _, a in sent]
        if back_good and "scan-failed" in answers and answers[-back_good:] == ["done"] * back_good:
            break
        time.sleep(0.1)
    s.scanner_command("stop")
    s.truth.update()
    switched = {e["command"]: e["t"] for e in s.truth.of("command", since=0)}
    return sent, faces, switched.get("0 off %.1f" % OFF_S), switched.get("0 on")


def answer_pattern(sent):
    return "".join({"done": "3", "scan-failed": "-"}.get(a, "?") for _, a in sent)


def scenario_recovery(s):
    """Scanner 0, with recovery on, is switched off for 3 s during a
    recording and comes back stopped. The service brings it up again by
    itself; the log commands are answered -1 only meanwhile, its log has a
    line for every command answered 3, in order, and the indicator is orange
    while it is out. Then it is switched off again and comes back never ready:
    closing the window ends the bring-up in progress at once."""
    recovery_up(s, True)
    run, run_win = folder(s, "восстановление")
    sent, faces, off_t, on_t = power_cycle(s, run_win, back_good=4)
    pattern = answer_pattern(sent)
    check(re.fullmatch(r"3+-+3+", pattern) is not None,
          "the log commands are answered -1 only during the gap (%s)" % pattern)
    check(off_t is not None and on_t is not None, "the scanner was switched off and on again")
    received = s.truth.received(0, since=on_t)
    check(received[:1] == ["sMN SetAccessMode 03 5C0B19E2"] and "sMN LMCstartmeas" in received,
          "the service ran the start sequence again (%s)" % received[:6])
    good = [x for x in s.truth.scans[0] if x.service_good()]
    before = [x for x in good if x.t < off_t]
    after = [x for x in good if x.t > on_t]
    check(before and after, "scanner 0 served good scans before and after the gap")
    back_s = after[0].t - on_t
    check(back_s <= BACK_BOUND_S, "good scans again %.2f s after the scanner came back (at most "
          "%.0f s)" % (back_s, BACK_BOUND_S))
    print("recovery: scanner0 %.2f s (switched off %.1f s, scans again %.2f s after it came back)"
          % (after[0].t - before[-1].t, OFF_S, back_s), flush=True)

    done = [(float(i),) * 3 for i, a in sent if a == "done"]
    lines = check_log(s.truth, 0, logs_in(run)[0], "scanner0.log across the gap", done)
    check(any(line.scan.t < off_t for line in lines) and any(line.scan.t > on_t for line in lines),
          "scanner0.log has lines from before and after the gap")
    check_log(s.truth, 1, logs_in(run)[1], "scanner1.log meanwhile",
              [(float(i),) * 3 for i, _ in sent])
    check(ORANGE in faces, "the indicator turns orange while the scanner is out (%s)" % faces)
    deadline = time.monotonic() + 3
    while s.controls()[SETTINGS_BUTTON][2] == ORANGE and time.monotonic() < deadline:
        time.sleep(0.2)
    check(s.controls()[SETTINGS_BUTTON][2] != ORANGE, "and leaves orange once it is back")
    check(s.read_block(STATUS_BLOCK) == "1\\n", "the status block says 1 again")
    open_settings(s)
    ticks = [s.settings_probe.window("check", "--id", str(i))[1].strip() for i in RECOVER_TICKS]
    check(ticks == ["1", "0"], "the settings tick recovery for scanner 1 only (%s)" % ticks)
    s.settings_probe.window("click", "--id", "2")
    check(wait_settings_gone(s), "'Отмена' closes the settings")

    # Off again, and back never ready: the bring-up waits in its readiness wait.
    s.sim.command("0 relapse %d" % READY_STATE_POLLS)
    since = s.sim_time()
    s.sim.command("0 off 0.5")
    deadline = time.monotonic() + 20
    waiting = False
    while not waiting and time.monotonic() < deadline:
        texts = s.truth.update().received(0, since=since)
        if "sMN LMCstartmeas" in texts:
            tail = texts[texts.index("sMN LMCstartmeas"):]
            waiting = tail.count("sRN STlms") >= READY_AFTER + 6
        time.sleep(0.1)
    check(waiting, "the service is in the readiness wait of scanner 0")
    began = time.monotonic()
    closed = s.close_service()
    took = time.monotonic() - began
    print("the window closed %.2f s after the close during a bring-up" % took, flush=True)
    check(closed and took < CLOSE_BOUND_S, "closing the window ends the bring-up at once "
          "(%.2f s)" % took)
    check(s.messages.texts() == [], "no message (%s)" % s.messages.texts())


def scenario_recovery_off(s):
    """The same gap with recovery off: the scanner is not brought up again;
    the log commands are answered -1 from the gap on and its log ends there."""
    recovery_up(s, False)
    run, run_win = folder(s, "без восстановления")
    sent, faces, off_t, on_t = power_cycle(s, run_win, bound_s=OFF_S + 6)
    pattern = answer_pattern(sent)
    check(re.fullmatch(r"3+-+", pattern) is not None,
          "answered -1 from the gap on (%s)" % pattern)
    check(on_t is not None and not s.truth.of("connect", 0, since=off_t),
          "the service does not connect to scanner 0 again")
    lines = check_log(s.truth, 0, logs_in(run)[0], "scanner0.log up to the gap")
    check(all(line.scan.t < off_t for line in lines) and len(lines) >= pattern.index("-") - 1,
          "scanner0.log holds the lines before the gap (%d)" % len(lines))
    check(ORANGE not in faces, "the indicator never turns orange (%s)" % faces)
    check(s.read_block(STATUS_BLOCK) == "0\\n", "the status block stays 0")
    check(s.close_service(), "Vestrami closes on WM_CLOSE")
    check(s.messages.texts() == [], "no message (%s)" % s.messages.texts())
