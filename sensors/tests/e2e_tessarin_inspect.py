"""survey-inspect.exe against the running Tessarin.exe and its DAQ stand-in:
the data block watched while it changes a thousand times a second, and a
recording started and stopped through the files-write-state block, which the
service never answers."""

import os
import time

from e2e_tessarin_scenarios import RECORDING_DRIVE, RECORDING_SENSORS, installed, wait_for
from e2e_wine import check, run_inspect, stamped_lines, windows_path

SENSOR_BLOCKS = {"MySensorFileMappingObject", "MyFilesWSMappingObject"}
WATCH_MS = 12000
LOOK_MS = 50


def inspect(s, *argv, timeout=40):
    return run_inspect(s.wine, s.args.inspect, *argv, timeout=timeout)


stamped = stamped_lines


def scenario_inspect(s):
    installed(s, RECORDING_SENSORS, files=True, daq_scenario=RECORDING_DRIVE)
    s.start()
    s.wait_up()
    rc, out = inspect(s, "list")
    states = {w[0]: " ".join(w[5:]) for w in (line.split() for line in out.splitlines()) if w}
    check(rc == 0 and len(states) == 7 and
          all(v == ("present" if n in SENSOR_BLOCKS else "absent") for n, v in states.items()),
          "list: the sensor service's two blocks present, the other five absent (%s)" % states)

    watch_out = open(os.path.join(s.work, "watch.out"), "wb")
    watch = s.wine.spawn([s.args.inspect, "watch", "sensor", "filesws", "--for", str(WATCH_MS),
                          "--interval", str(LOOK_MS)], log=watch_out)
    try:
        time.sleep(2)
        folder = s.recording_folder("осмотр")
        os.makedirs(folder)
        typed = "1\\n" + windows_path(folder).replace("\\", "\\\\")
        rc, out = inspect(s, "send", "filesws", typed)
        lines = stamped(out)
        check(rc == 0 and [r for _, _, r in lines] == ["sent " + typed] and
              "never answered" in out, "send filesws writes the request and waits for no "
              "answer (%r)" % out)
        wait_for("the service records into the folder (session.ini appears)",
                 lambda: os.path.exists(os.path.join(folder, "session.ini")), 10)
        rc, out = inspect(s, "read", "filesws")
        check(rc == 0 and out.strip() == typed, "the block keeps the request (%r)" % out)
        time.sleep(1.5)
        rc, out = inspect(s, "send", "filesws", "0\\n")
        check(rc == 0, "the recording is stopped the same way")
        time.sleep(2.0)  # the service looks at the block once a second
        size = os.path.getsize(os.path.join(folder, "sensWay.txt"))
        time.sleep(2.5)
        check(os.path.getsize(os.path.join(folder, "sensWay.txt")) == size,
              "and the channel files stop growing (%d bytes)" % size)
        watch.wait(timeout=WATCH_MS / 1000 + 60)
    finally:
        if watch.poll() is None:
            watch.kill()
            watch.wait(timeout=10)
        watch_out.close()
    check(watch.returncode == 0, "the watch ends after --for")
    with open(os.path.join(s.work, "watch.out"), encoding="utf-8", errors="replace") as f:
        lines = stamped(f.read().replace("\r\n", "\n"))
    data = [(t, r) for t, n, r in lines if n == "MySensorFileMappingObject"]
    looks = WATCH_MS / LOOK_MS
    check(looks / 4 <= len(data) <= looks + 1 and
          all(a[1] != b[1] for a, b in zip(data, data[1:])),
          "the data block, changing every millisecond, is printed at most once a look and "
          "never twice the same (%d lines, %d looks)" % (len(data), looks))
    check(all(len(r.replace("\\n", "").split()) == 7 for _, r in data),
          "each line is the four counters and three voltages (%s)" % data[-1][1])
    requests = [r for _, n, r in lines if n == "MyFilesWSMappingObject"]
    check(requests == ["0\\n", typed, "0\\n"], "the watch shows the recorder's requests "
          "(%s)" % requests)
    check([t for t, _, _ in lines] == sorted(t for t, _, _ in lines),
          "every watch line carries its UTC time, in order")
    s.check_clean_exit(s.close())
