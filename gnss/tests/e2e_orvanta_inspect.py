"""survey-inspect.exe against the running Orvanta.exe and its receiver
simulator: what a field engineer sees of the suite's blocks without the
recording program, and that looking creates nothing."""

import re

from e2e_orvanta_base import *  # noqa: F401,F403
from e2e_wine import run_inspect, stamped_lines

BLOCKS = {  # mapping name: short name
    "MyGPSFileMappingObject": "gps",
    "MyGPSSyncMappingObject": "sync",
    "MyLogFolderMappingObject": "logfolder",
    "MyScanFileMappingObject": "scan",
    "MyScanCommandMappingObject": "scancmd",
    "MySensorFileMappingObject": "sensor",
    "MyFilesWSMappingObject": "filesws",
}
GNSS_BLOCKS = {"MyGPSFileMappingObject", "MyGPSSyncMappingObject", "MyLogFolderMappingObject"}
WATCH_MS = 40000


def inspect(s, *argv, timeout=40):
    return run_inspect(s.wine, s.args.inspect, *argv, timeout=timeout)


def listed(s):
    """{mapping name: state} from the list command."""
    rc, out = inspect(s, "list")
    check(rc == 0, "survey-inspect list runs")
    table = {}
    for line in out.splitlines():
        words = line.split()
        if words and words[0] in BLOCKS:
            table[words[0]] = " ".join(words[5:])
    check(set(table) == set(BLOCKS), "list names the seven blocks (%s)" % sorted(table))
    return table


def typed(text):
    return text.replace("\\", "\\\\")


stamped = stamped_lines


def scenario_inspect(s):
    rc, out = inspect(s, "--help")
    words = set(re.findall(r"[\w-]+", out))
    needed = {"list", "read", "watch", "send", "--interval", "--for", "--timeout", "--help"}
    needed |= set(BLOCKS) | set(BLOCKS.values())
    check(rc == 0 and needed <= words, "--help names every command, option and block (%s)"
          % sorted(needed - words))

    s.deploy({"скорость": 115200, "порт": SIM_COM})
    s.clear_com_links()
    s.start_sim(SIM_COM, 115200, ["--sats", "9", "--speed", "54"])
    # A watch of every block from before the service exists.
    watch_out = open(os.path.join(s.work, "watch.out"), "wb")
    watch_started = time.time()
    watch = s.wine.spawn([s.args.inspect, "watch", "--for", str(WATCH_MS)], log=watch_out)
    try:
        time.sleep(3)
        states = listed(s)
        check(all(v == "absent" for v in states.values()),
              "with no service every block is absent, a watch running (%s)" % states)
        s.start_orvanta()
        s.wait_record(lambda t: t.startswith("1 "), 60, "a record with flag 1 is published")

        states = listed(s)
        check(all(states[n] == ("present" if n in GNSS_BLOCKS else "absent") for n in BLOCKS),
              "list: the GNSS service's three blocks present, the other four absent (%s)"
              % states)

        rc, out = inspect(s, "read", "gps")
        fields = out.strip().split(" ")
        check(rc == 0 and fields[0] == "1" and len(fields) == 9 and fields[8] == "9",
              "read gps prints the current record (%s)" % out.strip())
        rc, out = inspect(s, "read", "mygpssyncmappingobject")
        check(rc == 0 and out.strip() == "0\\n", "read by mapping name, any case: 0\\n (%r)" % out)

        before = time.time()
        rc, out = inspect(s, "send", "sync", "-1")
        lines = stamped(out.splitlines())
        check(rc == 0 and [(n, r) for _, n, r in lines] ==
              [("MyGPSSyncMappingObject", "sent -1"), ("MyGPSSyncMappingObject", "answer 0")],
              "send sync -1 prints the request and the service's answer 0 (%r)" % out)
        check(before - 2 <= lines[0][0] <= lines[1][0] <= time.time() + 2,
              "both lines carry the UTC time they happened (%s)" % [t for t, _, _ in lines])
        check(lines[1][0] - lines[0][0] < 1.0, "the answer comes within the service's 100 ms "
              "poll (%.3f s)" % (lines[1][0] - lines[0][0]))

        runs = os.path.join(s.work, "runs")
        os.makedirs(runs)
        # Backslashes are typed doubled: the text takes escapes.
        rc, out = inspect(s, "send", "logfolder", "1 " + typed(windows_path(runs)))
        check(rc == 0 and out.rstrip().endswith("MyLogFolderMappingObject answer 0\\n"),
              "send logfolder \"1 <folder>\" is answered 0\\n (%r)" % out)
        check(len(os.listdir(runs)) == 1, "and the service opened a run log there (%s)"
              % os.listdir(runs))
        rc, out = inspect(s, "send", "logfolder", "1")
        check(rc == 0, "the run log is stopped the same way")

        rc, out = inspect(s, "send", "gps", "0")
        check(rc == 1 and "not a command block" in out, "the record block takes no command")
        rc, out = inspect(s, "read", "scan")
        check(rc == 2 and "absent" in out, "read of a block with no service: absent, exit 2")
        rc, out = inspect(s, "send", "filesws", "1\\n" + typed(windows_path(runs)))
        check(rc == 2 and "absent" in out, "send to a block with no service: absent, exit 2")
        states = listed(s)
        check(all(states[n] == "absent" for n in BLOCKS if n not in GNSS_BLOCKS),
              "after all that the other services' blocks are still absent (%s)" % states)

        watch.wait(timeout=WATCH_MS / 1000 + 60)
    finally:
        if watch.poll() is None:
            watch.kill()
            watch.wait(timeout=10)
        watch_out.close()
    check(watch.returncode == 0, "the watch ends after --for")
    with open(os.path.join(s.work, "watch.out"), encoding="utf-8", errors="replace") as f:
        lines = stamped(f.read().splitlines())
    absent = [n for _, n, r in lines if r == "absent"]
    check(sorted(absent) == sorted(BLOCKS), "the watch reports each block absent once (%s)"
          % absent)
    check(all(watch_started - 5 <= t <= time.time() + 2 for t, _, _ in lines) and
          [t for t, _, _ in lines] == sorted(t for t, _, _ in lines),
          "every watch line carries its UTC time, in order")
    records = [r for _, n, r in lines if n == "MyGPSFileMappingObject"]
    check(len(records) >= 10 and all(a != b for a, b in zip(records, records[1:])),
          "the record is printed on every change, never twice the same (%d lines)" % len(records))
    fixes = {r.split(" ")[7] for r in records if r.startswith("1 ")}
    check(len(records) <= len(fixes) + 3,
          "one line per new fix, not one per look (%d lines, %d fixes)" % (len(records), len(fixes)))
    syncs = [r for _, n, r in lines if n == "MyGPSSyncMappingObject" and r != "absent"]
    check(syncs and syncs[0] == "0\\n" and syncs[-1] == "0",
          "the watch saw the clock-check block from 0\\n to the answer 0 (%s)" % syncs)
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")
