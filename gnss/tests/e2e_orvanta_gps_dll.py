"""End-to-end scenarios of gps.dll against the running Orvanta.exe: the
library starts the service from its own folder, as the suite's programs do."""

from e2e_orvanta_base import *  # noqa: F401,F403


class GpsDllClient:
    """The step-driven client of gps.dll, run from the installation folder.

    It reads its steps from standard input; each step answers with one line
    that starts with the step's name. The service the library starts inherits
    the client's environment, so its message boxes go to the scenario's
    message log as well.
    """

    def __init__(self, scenario):
        self.scenario = scenario
        exe = os.path.join(scenario.install, os.path.basename(scenario.args.gps_client))
        env = dict(scenario.wine.env)
        env["SURVEY_MESSAGE_LOG"] = windows_path(scenario.messages)
        self.transcript = open(os.path.join(scenario.work, "gps-client.out"), "w",
                               encoding="utf-8")
        self.lines = queue.Queue()
        # The service started by the library inherits the client's handles,
        # standard output included: this pipe may stay open after the client
        # ends, so nothing here waits for its end.
        self.proc = subprocess.Popen([scenario.wine.wine_run, exe, "stdin"], cwd=scenario.install,
                                     env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=open(os.path.join(scenario.work, "gps-client.err"),
                                                 "wb"))
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.lines.put(line)
            try:
                self.transcript.write(line + "\n")
                self.transcript.flush()
            except ValueError:  # closed by finish(): the rest is not needed
                pass

    def step(self, text, timeout_s=30):
        """Runs one step; returns the words of its answer after the step's name."""
        name = text.split(" ", 1)[0]
        self.transcript.write("> " + text + "\n")
        try:
            self.proc.stdin.write((text + "\n").encode("cp1251"))
            self.proc.stdin.flush()
        except OSError as e:
            raise Failure("the gps.dll client does not take the step %r (%s)" % (text, e))
        deadline = time.monotonic() + timeout_s
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("no answer to the step %r within %d s" % (text, timeout_s))
            try:
                line = self.lines.get(timeout=min(left, 0.5))
            except queue.Empty:
                if self.proc.poll() is not None and self.lines.empty():
                    raise Failure("the gps.dll client ended (%d) at the step %r"
                                  % (self.proc.returncode, text))
                continue
            words = line.split(" ")
            if words[0] == name:
                return words[1:]
            if line.startswith("missing ") or line.startswith("unknown step"):
                raise Failure("gps.dll client: %s" % line)

    def int_step(self, text, timeout_s=30):
        answer = self.step(text, timeout_s)
        check(answer and answer[0].lstrip("-").isdigit(), "%s answers a number (%s)"
              % (text, answer))
        return int(answer[0])

    def values(self):
        answer = self.step("values")
        return {k: float(v) for k, v in (w.split("=", 1) for w in answer if "=" in w)}

    def finish(self, timeout_s=20):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"exit\n")
                self.proc.stdin.close()
            except OSError:
                pass
            try:
                self.proc.wait(timeout=timeout_s)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)
        self.transcript.close()
        return self.proc.returncode

    def cleanup(self):
        if not self.transcript.closed:
            self.finish(10)
        # A service the library started and that did not close: ask it to,
        # then end the processes of this installation's Orvanta.exe by id.
        if service_pids(self.scenario):
            self.scenario.client("close", "10000", timeout=30)
            for pid in service_pids(self.scenario):
                try:
                    os.kill(pid, 9)
                except OSError:
                    pass


def service_pids(scenario):
    """Unix ids of the Wine processes running this scenario's Orvanta.exe."""
    needle = (windows_path(os.path.join(scenario.install, "Orvanta.exe"))).lower().encode()
    pids = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % name, "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").lower()
        except OSError:
            continue
        if needle in cmdline:
            pids.append(int(name))
    return pids



METRES_PER_DEGREE = 111195.0  # on the simulator's sphere (radius 6371008.8 m)
CLOCK_AGREES = "Синхронность проверена"


def event_log_text(s):
    path = os.path.join(s.install, "gnssLog.log")
    try:
        with open(path, "rb") as f:
            return f.read().decode("cp1251", "replace")
    except OSError:
        return ""


def wait_for(predicate, timeout_s, interval_s=0.3):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(interval_s)
    return predicate()


def start_service_through_library(s):
    """Deploys the service, gps.dll and its client into one folder and lets
    _InitGPSDefault start the service; returns the client once it reads a fix."""
    check(bool(s.args.gps_dll) and os.path.exists(s.args.gps_dll), "gps.dll is built")
    check(bool(s.args.gps_client) and os.path.exists(s.args.gps_client),
          "the client of gps.dll is built")
    s.deploy({"скорость": 115200, "порт": SIM_COM})
    shutil.copy(s.args.gps_client, s.install)
    check(not service_pids(s), "no Orvanta.exe of this installation runs yet")
    s.clear_com_links()
    s.start_sim(SIM_COM, 115200, ["--sats", "9", "--speed", "54"])
    c = s.gps_client = GpsDllClient(s)
    check(c.int_step("connected") == 10, "_GPSConnected reports 10 while no service runs")
    s.note_start()
    # Two 1 s pauses, the service's start and its named objects: well below
    # the library's own 50 s limit per object.
    answer = c.step("init", 120)
    result = int(answer[0])
    check(result in (0, 1), "_InitGPSDefault connects to the service it started (%d after %s ms)"
          % (result, answer[1]))
    check(not any("Ошибка!" in line for line in s.message_lines()),
          "the library shows no error box (%s)" % s.message_lines())
    check(wait_for(lambda: service_pids(s), 10),
          "Orvanta.exe runs from the library's folder")
    answer = c.step("wait-update 1:60000", 90)
    check(answer[0] == "1" and answer[1] != "timeout", "_UpdateGPS reads 1 once the service "
          "has a fix (%s)" % answer)
    check(c.int_step("connected") == 1, "_GPSConnected finds the service and reads 1")
    if s.has_winprobe():
        rc, out = s.probe("wait", "--title-prefix", "Orvanta v", "--timeout", "10000")
        check(rc == 0, "the service's window is open (%s)" % out.strip())
        rc, out = s.probe("list", "--title-prefix", "Orvanta v")
        check(any(line.strip() and not line.endswith("\thidden") for line in out.splitlines()),
              "and shown (%r)" % out)
    day_log = day_log_path(s)
    check(os.path.exists(day_log), "the service keeps its day log in the library's folder")
    return c


def close_service_through_client(s, c):
    rc, out = s.client("close", "20000", timeout=40)
    check(rc == 0, "Orvanta closes on WM_CLOSE (%s)" % out.strip())
    check(wait_for(lambda: c.int_step("connected") == 10, 15, 0.5),
          "_GPSConnected reports 10 once the service has ended")
    check(wait_for(lambda: not service_pids(s), 10), "no Orvanta.exe process is left")
    check(c.finish() == 0, "the client of gps.dll ends cleanly")


def check_values_against_truth(s, v):
    ggas = sent_ggas(s)
    match = [g for g in ggas if abs(g["lat"] - v["lat"]) < 1e-6 and abs(g["lon"] - v["lon"]) < 1e-6]
    check(bool(match), "_GetGPSLat/_GetGPSLong give a position the simulator sent (%.7f, %.7f)"
          % (v["lat"], v["lon"]))
    gga = match[-1]
    check(abs(gga["time"] - v["time"]) < 0.0015,
          "_GetGPSTime gives that fix's time (%.3f, sent %.3f)" % (v["time"], gga["time"]))
    check(int(v["sats"]) == gga["sats"] == 9, "_GetSatNumber gives the satellites (%d)"
          % v["sats"])
    check(abs(v["speed"] - 15.0) < 1.5, "_GetGPSCurSpeed follows the drive at 54 km/h (%.3f m/s)"
          % v["speed"])
    check(abs(v["dist"] - 15.0) < 1.5, "_GetGPSCurDist is one second of the drive (%.3f m)"
          % v["dist"])
    north = v["latspeed"] * METRES_PER_DEGREE
    east = v["lonspeed"] * METRES_PER_DEGREE * math.cos(math.radians(v["lat"]))
    step = math.hypot(north, east)
    check(abs(step - v["dist"]) < 0.02 * v["dist"] + 0.1,
          "_GetGPSLatSpeed/_GetGPSLonSpeed make up that step (%.3f m)" % step)
    check(v["x"] == 0.0 and v["y"] == 0.0 and v["heading"] == 0.0,
          "_GetGPSX, _GetGPSY and _GetGPSHeading stay 0")


def run_log_lines(path):
    with open(path, "rb") as f:
        return [line for line in f.read().split(b"\r\n") if line]


def scenario_gps_dll(s):
    c = start_service_through_library(s)
    # The drive reaches its speed after the first fixes.
    time.sleep(4)
    check(c.int_step("update") == 1, "_UpdateGPS reads 1")
    check_values_against_truth(s, c.values())

    # The initialisation asked for a clock check; fixes are logged once it is done.
    check(wait_for(lambda: CLOCK_AGREES in event_log_text(s), 30),
          "the clock check asked for by _InitGPSDefault is done (%r)" % event_log_text(s))

    runs = os.path.join(s.work, "runs")
    os.makedirs(runs)
    c.step("log 1 " + windows_path(runs))
    check(wait_for(lambda: os.listdir(runs), 5, 0.1), "_SetLogFolder(\"1 <folder>\") opens a "
          "run log there")
    files = os.listdir(runs)
    name = files[0]
    check(len(files) == 1 and len(name) == 19 and name[:12].isdigit() and name.endswith("gps.log"),
          "the run log is named yymmddhhmmssgps.log (%s)" % files)
    stamp = datetime.datetime.strptime(name[:12], "%y%m%d%H%M%S").replace(
        tzinfo=datetime.timezone.utc)
    check(abs(time.time() - stamp.timestamp()) < 30,
          "its name carries the UTC time it was opened (%s)" % name[:12])
    rc, out = s.client("log")
    check(out.strip() == "0\\n", "the service acknowledges the command with 0\\n (%r)" % out)
    path = os.path.join(runs, name)
    check(wait_for(lambda: len(run_log_lines(path)) >= 3, 10),
          "fixes are written into the run log (%d lines)" % len(run_log_lines(path)))
    for line in run_log_lines(path):
        head, _, xor_text = line.rpartition(b",")
        xor = 0
        for b in head:
            xor ^= b
        check(head.startswith(b"$GPGGA,") and xor_text.isdigit() and int(xor_text) == xor,
              "run-log line is a fix line: %s" % line.decode("latin-1"))
    c.step("log 1")
    time.sleep(1)
    rc, out = s.client("log")
    check(out.strip() == "0\\n", "the stop command is acknowledged (%r)" % out)
    size = os.path.getsize(path)
    time.sleep(3)
    check(os.path.getsize(path) == size, "_SetLogFolder(\"1\") stops the run log")
    check('локальный_файл=""' in s.config_text(), "and clears the stored run-log path")

    # An explicit clock-check request.
    before = event_log_text(s).count(CLOCK_AGREES)
    answer = c.step("synchro-ack 3000", 20)
    check(answer[-1] != "timeout" and answer[1] == "0",
          "the service answers _Synchro: the request block reads 0 again (%s)" % answer)
    check(wait_for(lambda: event_log_text(s).count(CLOCK_AGREES) > before, 30),
          "the event log confirms the clock again")
    rc, out = s.client("sync")
    check(out.strip() == "0", "the request block stays answered (%r)" % out.strip())

    # A program started while the service runs finds it and starts no second one.
    pids = service_pids(s)
    answer = c.step("init", 60)
    check(answer[0] == "1" and 1900 <= int(answer[1]) < 5000,
          "_InitGPSDefault with the service running reads 1 after about 2 s (%s ms)" % answer[1])
    check(service_pids(s) == pids, "and starts no second service")

    check(c.int_step("quit") == 1, "_QuitGPS returns 1")
    check(c.int_step("update") == 1, "and the service goes on")

    # A service that ends without a word (killed): _GPSConnected reports 10
    # and leaves the values as the last read gave them, although the record
    # has moved on since.
    read = c.values()
    check(read["sats"] == 9 and read["dist"] > 1.0, "the last read has a step and 9 satellites")
    time.sleep(2.5)
    for pid in service_pids(s):
        os.kill(pid, 9)
    # While the service is still listed, _GPSConnected reads the record.
    check(wait_for(lambda: not service_pids(s), 10), "the service is gone")
    time.sleep(1)
    check(c.int_step("connected") == 10, "_GPSConnected reports 10 once the service is gone")
    check(c.values() == read, "the values stay as the last read left them")
    c.step("unmap")
    check(c.int_step("update") == 0, "_UpdateGPS reads 0 after _UnMap")
    check(c.finish() == 0, "the client of gps.dll ends cleanly")


def scenario_gps_dll_silent(s):
    c = start_service_through_library(s)
    time.sleep(3)  # under way, so the step and the changes are not 0
    check(c.int_step("update") == 1, "_UpdateGPS reads 1")
    before = c.values()
    check(before["dist"] > 1.0 and before["sats"] == 9, "a step and 9 satellites before the loss")
    s.sim.command("silent")
    answer = c.step("wait-update 0:15000", 30)
    check(answer[0] == "0" and answer[1] != "timeout",
          "_UpdateGPS reads 0 once the receiver is silent (%s)" % answer)
    check(s.record() == "0\\n", "the service's record reads 0\\n")
    after = c.values()
    check(after["sats"] == 0 and after["dist"] == 0 and after["latspeed"] == 0 and
          after["lonspeed"] == 0, "satellites, distance and changes read 0")
    last = [g for g in sent_ggas(s) if abs(g["lat"] - after["lat"]) < 1e-6 and
            abs(g["lon"] - after["lon"]) < 1e-6 and abs(g["time"] - after["time"]) < 0.0015]
    check(bool(last) and after["speed"] > 1.0,
          "position, time and speed keep the last fix's values (%.7f, %.7f, %.3f)"
          % (after["lat"], after["lon"], after["time"]))
    check(wait_for(lambda: s.has_message("GPS-приёмник отключен"), 10),
          "the service reports the loss (%s)" % s.message_lines())
    # Without a receiver the service takes no clock-check request; the
    # client can withdraw it.
    c.step("synchro")
    answer = c.step("sync-stays 1500", 20)
    check(answer[0] == "-1" and int(answer[1]) >= 1400,
          "a request stays unanswered while the receiver is lost (%s)" % answer)
    c.step("nosynchro")
    answer = c.step("sync-state")
    check(answer[0] == "0", "_NoSynchro withdraws it (%s)" % answer)
    close_service_through_client(s, c)
