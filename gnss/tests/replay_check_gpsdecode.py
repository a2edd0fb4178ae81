#!/usr/bin/env python3
"""Checks the replay regression's expected files against an independent
decoder, gpsd's gpsdecode (Debian package gpsd-clients): for every fix the
service accepted (a "daylog" line, with its "record"), the position and the
time of day agree with gpsdecode's report of the same epoch, and the
satellite count with the GGA sentence as gpsdecode's epoch saw it.

    gnss/tests/replay_check_gpsdecode.py [CAPTURE_DIR]

The service reads positions without their hemisphere letters, so positions
are compared by magnitude. Prints one line per capture and exits 1 on any
disagreement.
"""
import glob
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def gpsdecode_epochs(capture):
    """{time of day "hhmmss.sss" as the record writes it: (lat, lon, uSat or None)}"""
    with open(capture, "rb") as f:
        text = b"".join(l for l in f.read().splitlines(True) if not l.startswith(b"#"))
    out = subprocess.run(["gpsdecode", "-j"], input=text, capture_output=True, timeout=60).stdout
    epochs, last_sky = {}, None
    for line in out.decode("utf-8", "replace").splitlines():
        try:
            d = json.loads(line)
        except ValueError:
            continue
        if d.get("class") == "SKY":
            last_sky = d.get("uSat")
        if d.get("class") == "TPV" and "time" in d and "lat" in d:
            hms = d["time"][11:23].replace(":", "")  # hhmmss.sss
            key = "%.3f" % float(hms)
            epochs[key] = (d["lat"], d["lon"], last_sky)
    return epochs


def main():
    captures_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        HERE, "..", "..", "..", "shared", "data", "nmea")
    bad = 0
    for expected in sorted(glob.glob(os.path.join(HERE, "replay-expected", "*.txt"))):
        name = os.path.splitext(os.path.basename(expected))[0]
        # <capture>.txt, or <capture>.gn-talker.txt with the GN-talker option on.
        capture = os.path.join(captures_dir, name.split(".")[0] + ".log")
        if not os.path.exists(capture):
            continue
        epochs = gpsdecode_epochs(capture)
        records = [l.split(" ")[1:] for l in open(expected, encoding="utf-8") if l.startswith("record ")]
        daylog = [l.split(" ", 1)[1].rstrip("\n") for l in open(expected, encoding="utf-8")
                  if l.startswith("daylog ")]
        # Records are published for every GGA; the accepted fixes are the
        # ones the day log has, found by their time.
        by_time = {}
        for fields in records:
            by_time[fields[7]] = fields
        agreed = unmatched = 0
        for line in daylog:
            gga = line.split(",")
            time_of_day = "%.3f" % float(gga[1])
            fields = by_time.get(time_of_day)
            if fields is None:
                print("%s: no record for the accepted fix at %s" % (name, gga[1]))
                bad += 1
                continue
            lat, lon, sats = float(fields[1]), float(fields[2]), int(fields[8])
            if int(gga[7] or 0) != sats:
                print("%s: record satellites %d are not its sentence's %s" % (name, sats, gga[7]))
                bad += 1
            theirs = epochs.get(time_of_day)
            if theirs is None:
                unmatched += 1
                continue
            if abs(abs(theirs[0]) - lat) > 1e-8 or abs(abs(theirs[1]) - lon) > 1e-8:
                print("%s %s: position %.9f %.9f, gpsdecode %.9f %.9f" % (
                    name, time_of_day, lat, lon, theirs[0], theirs[1]))
                bad += 1
                continue
            agreed += 1
        print("%s: %d records, %d accepted fixes: %d agree with gpsdecode, %d not reported by "
              "it with a time" % (name, len(records), len(daylog), agreed, unmatched))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
