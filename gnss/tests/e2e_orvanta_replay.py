#!/usr/bin/env python3
"""Replay regression of real receivers: every capture of ../shared/data/nmea
is replayed through the receiver simulator into the running Orvanta.exe, and
what the service published (its records, one per change) and logged (the fix
lines of its day log) is compared with the expected file kept for that
capture in gnss/tests/replay-expected/. The captures of receivers that talk
GN are replayed once more with the installation's GN-talker option on
(<capture>.gn-talker.txt).

Between captures the simulator plays a receiver standing still at a point
no capture has, so each capture starts from the same state; records and
lines of that point are left out. Volatile parts are masked: the day-log
date field (the computer's UTC date) and the first record's speed (it spans
the switch from the standing receiver, at a moment the test does not fix).

After an intended change, rewrite the expected files and review their diff
like code:

    gnss/tests/e2e_orvanta_replay.py --regenerate [--build-dir build/win]
"""

import difflib
import glob
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTED_DIR = os.path.join(HERE, "replay-expected")
REGENERATE_ENV = "SURVEY_REPLAY_REGENERATE"
REPLAY_RATE_HZ = 10  # epochs a second: a fast receiver's rate, well within 115200 bit/s
# The standing receiver: a point in the Barents Sea, 9 satellites.
STAND_ARGS = ["--speed", "0", "--route", "71.0,40.0;71.0,40.0", "--rate", str(REPLAY_RATE_HZ)]
STAND_LAT_TEXT = "7100.0000"
GN_OPTION = "принимать_сообщения_GN"


def captures(source_dir):
    folder = os.path.join(source_dir, "..", "shared", "data", "nmea")
    return sorted(glob.glob(os.path.join(folder, "*.log")))


def fix_line_normalised(line):
    """A day-log fix line "<sentence>,<step>,<yymmdd>,<xor>" with its XOR
    checked and its date masked; None when it is not such a line."""
    head, _, xor_text = line.rpartition(b",")
    xor = 0
    for b in head:
        xor ^= b
    if not xor_text.isdigit() or int(xor_text) != xor:
        return None
    body, _, date = head.rpartition(b",")
    if len(date) != 6 or not date.isdigit():
        return None
    return body.decode("cp1251") + ",DATE"


def replay_pass(s, files, suffix, regenerate):
    """Replays `files` into the running service; returns the diffs against
    the expected files <capture><suffix>.txt (rewrites them with `regenerate`)."""
    from e2e_orvanta_base import check, day_log_path
    from e2e_wine import Failure, windows_path
    from nmea_sim import load_capture

    log = day_log_path(s)
    differences = []
    for path in files:
        name = os.path.splitext(os.path.basename(path))[0]
        epochs = len(load_capture(path))
        s.sim.command("drive")
        time.sleep(1.0)
        stop = os.path.join(s.work, name + suffix + ".stop")
        out_path = os.path.join(s.work, name + suffix + ".records")
        with open(out_path, "wb") as out:
            watcher = s.wine.spawn([s.args.client, "watch-record", "600000", windows_path(stop)],
                                   log=out)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and b"ready" not in open(out_path, "rb").read():
            time.sleep(0.1)
        check(b"ready" in open(out_path, "rb").read(), "the record watcher is ready (%s)" % name)
        offset = os.path.getsize(log)
        s.sim.command("replay " + os.path.abspath(path))
        # Every epoch, then a second for the last one to be read and published.
        time.sleep(epochs / REPLAY_RATE_HZ + 1.5)
        open(stop, "w").close()
        try:
            watcher.wait(timeout=20)
        except subprocess.TimeoutExpired:
            watcher.kill()
            raise Failure("the record watcher did not stop (%s)" % name)
        with open(log, "rb") as f:
            f.seek(offset)
            logged = [l for l in f.read().split(b"\r\n") if l]
        records = open(out_path, "rb").read().decode("latin-1").splitlines()
        records = records[records.index("ready") + 1:]
        result = ["# %s: %d epochs replayed at %d a second" % (name, epochs, REPLAY_RATE_HZ)]
        first = True
        for r in records:
            fields = r.split(" ")
            if len(fields) == 9 and fields[1].startswith("71.0000000"):
                continue  # the standing receiver
            if first and len(fields) == 9:
                fields[6] = "*"
                first = False
            result.append("record " + " ".join(fields))
        for line in logged:
            if STAND_LAT_TEXT.encode() in line:
                continue
            normalised = fix_line_normalised(line)
            check(normalised is not None, "a day-log fix line with its XOR (%r)" % line)
            result.append("daylog " + normalised)
        text = "\n".join(result) + "\n"
        expected_path = os.path.join(EXPECTED_DIR, name + suffix + ".txt")
        if regenerate:
            os.makedirs(EXPECTED_DIR, exist_ok=True)
            with open(expected_path, "w", encoding="utf-8", newline="\n") as f:
                f.write(text)
            print("rewrote", expected_path)
            continue
        try:
            with open(expected_path, encoding="utf-8") as f:
                expected = f.read()
        except OSError:
            expected = ""
        if text != expected:
            differences.append("".join(difflib.unified_diff(
                expected.splitlines(True), text.splitlines(True),
                "expected/" + name + suffix + ".txt", "replayed/" + name + suffix + ".txt")))
        else:
            print("ok: %s%s: %d records, %d fix lines as expected" % (
                name, suffix, sum(l.startswith("record ") for l in result),
                sum(l.startswith("daylog ") for l in result)))
    return differences


def scenario_replay(s):
    from e2e_orvanta_base import SIM_COM, check, connect_and_publish

    files = captures(s.args.source_dir)
    if not files:
        print("SKIPPED: no captures in ../shared/data/nmea beside the checkout")
        return
    sys.path.insert(0, os.path.join(s.args.source_dir, "sim"))
    regenerate = os.environ.get(REGENERATE_ENV) == "1"

    # Every capture as the service takes NMEA by default: GGA of talker GP only.
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM},
                        sim_args=STAND_ARGS)
    differences = replay_pass(s, files, "", regenerate)
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")
    s.sim.stop()

    # The captures of receivers that talk GN, with the installation's option on.
    gn = [f for f in files if b"$GNGGA" in open(f, "rb").read()]
    connect_and_publish(s, SIM_COM, 115200, {"скорость": 115200, "порт": SIM_COM,
                                             GN_OPTION: "1"}, sim_args=STAND_ARGS)
    differences += replay_pass(s, gn, ".gn-talker", regenerate)
    check(s.close_orvanta(), "Orvanta closes on WM_CLOSE")
    check('%s="1"' % GN_OPTION in s.config_text(),
          "the option is written back with the port and speed")
    if differences:
        print("".join(differences))
    check(not differences, "every capture gives the expected records and day log (%d differ)"
          % len(differences))


def main():
    import argparse
    p = argparse.ArgumentParser(description="Rewrite the replay regression's expected files.")
    p.add_argument("--regenerate", action="store_true", required=True)
    p.add_argument("--build-dir", default=os.path.join(HERE, "..", "..", "build", "win"))
    args = p.parse_args()
    env = dict(os.environ, **{REGENERATE_ENV: "1"})
    return subprocess.call(["ctest", "--test-dir", args.build_dir, "--output-on-failure", "-R",
                            "e2e_orvanta_(prefix_start|replay|prefix_stop)"], env=env)


if __name__ == "__main__":
    sys.exit(main())
