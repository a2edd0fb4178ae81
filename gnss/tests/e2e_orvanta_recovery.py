"""The receiver pulled out during a recording and plugged in again: with the
installation's recovery option the service reopens its port by itself and
the fixes, the record and the logs go on; without it the service stays
without a receiver until the operator acts. A watch of the record block
(survey-inspect) is the client's view of the gap."""

import re

from e2e_orvanta_base import *  # noqa: F401,F403
from e2e_wine import stamped_lines

RECOVER = "восстанавливать_связь"
LOST = "GPS-приёмник отключен"
PULLED_S = 8  # the port is away this long
EVENT_LINE = re.compile(r"^(\d\d-\d\d-\d\d \d\d:\d\d:\d\d) UTC (.*)$")


def event_lines(s):
    """(Unix time, text) of the event log's receiver lines."""
    path = os.path.join(s.install, "gnssLog.log")
    if not os.path.exists(path):
        return []
    out = []
    for line in open(path, "rb").read().decode("cp1251").splitlines():
        m = EVENT_LINE.match(line)
        if m and "GPS-приёмник" in m.group(2):
            t = datetime.datetime.strptime(m.group(1), "%y-%m-%d %H:%M:%S").replace(
                tzinfo=datetime.timezone.utc).timestamp()
            out.append((t, m.group(2)))
    return out


def fix_lines(path):
    with open(path, "rb") as f:
        return [line.decode("latin-1") for line in f.read().split(b"\r\n") if line]


def check_fixes_complete(s, path, what):
    """Every GGA the receiver sent from the first logged fix until it was
    pulled the second time is logged once, in order; only one sent in the
    instant of the pull may be lost with the port (0.2 s)."""
    lines = fix_lines(path)
    logged = [line.rsplit(",", 3)[0] for line in lines]
    check(len(logged) >= 8, "%s has fix lines before and after the gap (%d)" % (what, len(logged)))
    events = s.truth_events()
    pulled = [e["t"] for e in events if e.get("event") == "unplug"]
    sent = [(e["t"], e["line"].rstrip("\r\n")) for e in events
            if e.get("event") == "sent" and e.get("type") == "GGA" and e["t"] < pulled[1]]
    texts = [text for _, text in sent]
    check(logged[0] in texts, "%s logs sentences the receiver sent" % what)
    span = sent[texts.index(logged[0]):]
    missing = [(t, text) for t, text in span if text not in logged]
    check(all(any(0 <= p - t < 0.2 for p in pulled) for t, _ in missing),
          "%s misses no fix the receiver sent before or after the gap (%s)" % (what, missing))
    check(logged[:len(span) - len(missing)] == [text for _, text in span if text in logged],
          "%s keeps the fixes in the order they were sent, each once" % what)
    return lines


def start_recording(s, recover):
    s.deploy({"скорость": 115200, "порт": SIM_COM, RECOVER: 1 if recover else 0})
    s.clear_com_links()
    s.start_sim(SIM_COM, 115200, ["--sats", "9", "--speed", "54"])
    s.start_orvanta()
    s.wait_record(lambda t: t.startswith("1 "), 60, "a record with flag 1 is published")
    runs = os.path.join(s.work, "runs")
    os.makedirs(runs)
    s.client("log-write", "1 " + windows_path(runs))
    check(wait_until(lambda: os.listdir(runs), 10), "a recording's run log is started")
    return os.path.join(runs, os.listdir(runs)[0])


def wait_until(predicate, timeout_s):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.2)
    return bool(predicate())


def watch_record(s, seconds):
    out = open(os.path.join(s.work, "watch.out"), "wb")
    return s.wine.spawn([s.args.inspect, "watch", "gps", "--for", str(int(seconds * 1000))],
                        log=out), out


def watched_records(s, watch, out):
    try:
        watch.wait(timeout=60)
    except subprocess.TimeoutExpired:
        watch.kill()
        watch.wait(timeout=10)
    out.close()
    with open(os.path.join(s.work, "watch.out"), encoding="utf-8", errors="replace") as f:
        return [(t, text) for t, name, text in stamped_lines(f.read())
                if name == "MyGPSFileMappingObject"]


def scenario_receiver_back(s):
    run_log = start_recording(s, True)
    watch, out = watch_record(s, 30)
    time.sleep(5)
    pulled_at = time.time()
    s.sim.command("unplug %d" % PULLED_S)
    s.wait_record(lambda t: t == "0\\n", 15, "the pulled receiver turns the record into 0\\n")
    s.wait_record(lambda t: t.startswith("1 "), PULLED_S + 15,
                  "the receiver is back by itself once its port is")
    time.sleep(6)
    records = watched_records(s, watch, out)
    invalid = [(t, text) for t, text in records if not text.startswith("1 ")]
    check([text for _, text in invalid] == ["0\\n"],
          "a client reads 0\\n during the gap and nothing else but fixes (%s)" % invalid)
    lost_at = invalid[0][0]
    before = [t for t, text in records if t < lost_at]
    after = [t for t, text in records if t > lost_at]
    check(before and len(after) >= 4, "fixes before the gap and after it (%d, %d)"
          % (len(before), len(after)))
    gap, back_at = after[0] - before[-1], after[0]
    plugged_at = pulled_at + PULLED_S
    check(back_at >= plugged_at - 0.5, "no fix while the port is away")
    check(back_at - plugged_at <= 5, "fixes come again %.1f s after the port is back"
          % (back_at - plugged_at))
    print("recovery: receiver %.1f s (without fixes; port away %d s, back %.1f s after it)"
          % (gap, PULLED_S, back_at - plugged_at), flush=True)

    events = event_lines(s)
    check([text for _, text in events][:1] == [LOST] and len(events) == 2,
          "the event log has the loss and the return (%s)" % events)
    m = re.match(r"^GPS-приёмник снова на связи \(COM%d\), перерыв (\d+) с$" % SIM_COM,
                 events[1][1])
    check(m and abs(int(m.group(1)) - gap) <= 2, "the return names the port and the gap (%s)"
          % events[1][1])
    check(abs(events[0][0] - lost_at) <= 2 and abs(events[1][0] - back_at) <= 2,
          "both lines carry the UTC time of the event")
    check([line.split("\t")[-1] for line in s.message_lines()] == [LOST],
          "the operator is told of the loss once (%s)" % s.message_lines())
    table, _ = s.controls()
    check([v.strip().lower() for v in table.get(1005, ["", "", ""])[1:3]] ==
          ["com%d" % SIM_COM, "0x00ff00"],
          "the port indicator is green again (%s)" % table.get(1005))

    # Pulled for good: the operator's rescan takes over from the attempts,
    # which stop, so the port coming back changes nothing until the operator
    # chooses it.
    s.sim.command("unplug")
    s.wait_record(lambda t: t == "0\\n", 15, "pulled again")
    time.sleep(3)
    rc, _ = s.probe("click", "--title-prefix", "Orvanta v", "--id", "1005")
    check(rc == 0, "the operator presses the port indicator while the port is away")
    s.sim.command("plug")
    time.sleep(6)
    check(s.record() == "0\\n" and len(event_lines(s)) == 3,
          "after the rescan the returning port is left to the operator")
    rc, _ = s.probe("click", "--title-prefix", "Orvanta v", "--id", "1005")
    check(rc == 0 and wait_until(lambda: s.client("choose-port", "0")[0] == 0, 15),
          "the operator chooses the port again")
    s.wait_record(lambda t: t.startswith("1 "), 30, "the chosen port delivers fixes")
    # And pulled while the window is closed: closing ends the attempts at once.
    s.sim.command("unplug")
    s.wait_record(lambda t: t == "0\\n", 15, "pulled a third time")
    s.client("log-write", "1")
    time.sleep(3)
    started = time.monotonic()
    check(s.close_orvanta(), "Orvanta closes while it reopens the port")
    closing = time.monotonic() - started
    check(closing < 10, "closing ends the attempts promptly (%.1f s)" % closing)
    check(len(s.message_lines()) == 3 and len(event_lines(s)) == 4,
          "each loss is told once and logged, the operator's connection too")
    check_fixes_complete(s, day_log_path(s), "the day log")
    check_fixes_complete(s, run_log, "the run log")
    check('%s="1"' % RECOVER in s.config_text(), "the option is written back with the port")


def scenario_receiver_back_off(s):
    run_log = start_recording(s, False)
    time.sleep(3)
    s.sim.command("unplug %d" % PULLED_S)
    s.wait_record(lambda t: t == "0\\n", 15, "the pulled receiver turns the record into 0\\n")
    check(wait_until(lambda: s.has_message(LOST), 10), "the loss is reported to the operator")
    logged = len(fix_lines(run_log))
    time.sleep(PULLED_S + 6)
    check(s.record() == "0\\n", "without the option the service stays without a receiver")
    check(len(fix_lines(run_log)) == logged, "and logs nothing more")
    check(event_lines(s) == [], "nor writes receiver lines into the event log")
    print("recovery: receiver none (option off)", flush=True)
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE after the loss")
    check('%s="0"' % RECOVER in s.config_text(), "the option is written back off")
