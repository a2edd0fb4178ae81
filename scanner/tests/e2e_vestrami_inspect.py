"""survey-inspect.exe against the running Vestrami.exe and its simulated
scanners: the command block answered as the recording program sees it, the
status block watched while a scanner fails and recovers."""


from e2e_vestrami_base import *  # noqa: F401,F403
from e2e_wine import run_inspect, stamped_lines

SCANNER_BLOCKS = {"MyScanFileMappingObject", "MyScanCommandMappingObject"}
WATCH_MS = 30000


def inspect(s, *argv, timeout=40):
    return run_inspect(s.wine, s.args.inspect, *argv, timeout=timeout)


stamped = stamped_lines


def send(s, text, answer, what):
    rc, out = inspect(s, "send", "scancmd", text)
    lines = stamped(out)
    check(rc == 0 and len(lines) == 2 and lines[1][2] == "answer " + answer and
          lines[0][0] <= lines[1][0] < lines[0][0] + 1.0, "%s: answered %s (%r)"
          % (what, answer, out))


def read_scan(s):
    rc, out = inspect(s, "read", "scan")
    return out.strip() if rc == 0 else None


def wait_scan(s, text, timeout_s, what):
    deadline = time.monotonic() + timeout_s
    got = None
    while time.monotonic() < deadline:
        got = read_scan(s)
        if got == text:
            print("ok:", what, flush=True)
            return
        time.sleep(0.3)
    raise Failure("%s (%r)" % (what, got))


def scenario_inspect(s):
    up(s)
    rc, out = inspect(s, "list")
    states = {w[0]: " ".join(w[5:]) for w in (line.split() for line in out.splitlines()) if w}
    check(rc == 0 and len(states) == 7 and
          all(v == ("present" if n in SCANNER_BLOCKS else "absent") for n, v in states.items()),
          "list: the scanner service's two blocks present, the other five absent (%s)" % states)

    watch_out = open(os.path.join(s.work, "watch.out"), "wb")
    watch = s.wine.spawn([s.args.inspect, "watch", "scan", "scancmd", "--for", str(WATCH_MS)],
                         log=watch_out)
    try:
        time.sleep(3)
        run, run_win = folder(s, "осмотр")
        os.makedirs(run)
        typed_folder = run_win.replace("\\", "\\\\")
        send(s, "1\\n" + typed_folder, "3\\n", "start into a folder with Cyrillic letters")
        check(all(os.path.exists(p) for p in logs_in(run)), "the service records there")
        send(s, "2 1.5 2.5 3.5", "3\\n", "log the next scans")
        s.sim.command("0 status 0:1 on")
        wait_scan(s, "0\\n", 6, "read scan shows the failed scans")
        send(s, "2", "-1\\n", "a log command while the scans fail")
        s.sim.command("0 status 0")
        wait_scan(s, "1\\n", 6, "and the good ones again")
        send(s, "0", "3\\n", "stop")
        watch.wait(timeout=WATCH_MS / 1000 + 60)
    finally:
        if watch.poll() is None:
            watch.kill()
            watch.wait(timeout=10)
        watch_out.close()
    check(watch.returncode == 0, "the watch ends after --for")
    with open(os.path.join(s.work, "watch.out"), encoding="utf-8", errors="replace") as f:
        lines = stamped(f.read().replace("\r\n", "\n"))
    status = [r for _, n, r in lines if n == "MyScanFileMappingObject"]
    check(status[:1] == ["1\\n"] and "0\\n" in status and status[-1] == "1\\n" and
          all(a != b for a, b in zip(status, status[1:])),
          "the watch shows the status going 1, 0 and 1 again, each change once (%s)" % status)
    commands = [r for _, n, r in lines if n == "MyScanCommandMappingObject"]
    # A command lives about 10 ms before the service answers it, so the watch
    # may not see it; the answers stay until the next command.
    check(all(a != b for a, b in zip(commands, commands[1:])) and "3\\n" in commands and
          "-1\\n" in commands, "the watch shows the answers in the command block (%s)"
          % commands)
    check([t for t, _, _ in lines] == sorted(t for t, _, _ in lines),
          "every watch line carries its UTC time, in order")
    check(s.close_service(), "Vestrami closes on WM_CLOSE")
