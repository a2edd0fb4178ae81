"""What every end-to-end driver of the suite's programs under Wine shares: the
private prefix of one test set (started and stopped through scripts/wine-run,
which picks its locale, time zone, fonts and display), programs run or
spawned in it, the message boxes a program recorded instead of showing
(SURVEY_MESSAGE_LOG), sim/winprobe for its windows, and screenshots.

Drivers import it with the sim folder on sys.path:

    sys.path.insert(0, os.path.join(source_dir, "sim"))
    from e2e_wine import Failure, check, windows_path, Wine, MessageLog, WinProbe, Simulator
"""

import argparse
import datetime
import os
import re
import json
import subprocess
import sys
import tempfile
import time
import zoneinfo


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


def windows_path(path):
    """The Wine path of a host path (drive Z: is the host's root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def json_lines(path):
    """The records of a JSON-lines file a simulator writes; [] while it has none."""
    try:
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]
    except (OSError, ValueError):
        return []


def utc_time(unix_time):
    return datetime.datetime.fromtimestamp(unix_time, datetime.timezone.utc)


class Wine:
    """One private prefix. `args` names source_dir, prefix and (optionally)
    ptyshim, the LD_PRELOAD shim that makes ptys behave like serial ports."""

    def __init__(self, args):
        self.args = args
        self.wine_run = os.path.join(args.source_dir, "scripts", "wine-run")
        self.env = dict(os.environ)
        self.env["WINEPREFIX"] = args.prefix
        self.env.pop("SURVEY_COM_MAP", None)
        ptyshim = getattr(args, "ptyshim", None)
        if ptyshim and os.path.exists(ptyshim):
            self.env["SURVEY_LD_PRELOAD"] = ptyshim
        self._zone = None

    def start(self):
        # The first start creates the prefix; a fresh prefix sometimes needs
        # a second start before its services answer.
        for _ in range(2):
            done = subprocess.run([self.wine_run, "--start"], env=self.env, timeout=240,
                                  stdin=subprocess.DEVNULL)
            if done.returncode == 0:
                break
        else:
            raise Failure("the Wine prefix does not start")
        # The suite's settings name a database server, so start-up goes on to
        # the update step, which finds no database client here.
        self.run(["reg", "add", "HKCU\\Software\\Marvesto\\Common", "/v", "SqlServer", "/t",
                  "REG_SZ", "/d", "127.0.0.1", "/f"], timeout=60)

    def stop(self):
        subprocess.run([self.wine_run, "--stop"], env=self.env, timeout=60,
                       stdin=subprocess.DEVNULL)

    def zone(self):
        """The time zone of the prefix's Wine programs (chosen by wine-run)."""
        if self._zone is None:
            out = subprocess.run([self.wine_run, "--zone"], env=self.env, capture_output=True,
                                 text=True, timeout=30, stdin=subprocess.DEVNULL)
            name = out.stdout.strip() or "UTC"
            try:
                self._zone = zoneinfo.ZoneInfo(name.lstrip(":"))
            except (ValueError, zoneinfo.ZoneInfoNotFoundError):
                # A TZ the zone database does not name (a POSIX rule, a file
                # path): its present offset, as the C library reads it.
                offset = subprocess.run(["date", "+%z"], env=dict(os.environ, TZ=name),
                                        capture_output=True, text=True, timeout=10).stdout.strip()
                minutes = int(offset[1:3]) * 60 + int(offset[3:5])
                self._zone = datetime.timezone(datetime.timedelta(
                    minutes=minutes if offset[0] == "+" else -minutes), name)
        return self._zone

    def local_time(self, unix_time):
        """Local time of the Wine programs at a moment given as Unix time."""
        return datetime.datetime.fromtimestamp(unix_time, self.zone())

    def display(self):
        out = subprocess.run([self.wine_run, "--display"], env=self.env, capture_output=True,
                             text=True, timeout=30)
        return out.stdout.strip()

    def run(self, argv, timeout=30, env=None):
        e = dict(self.env)
        if env:
            e.update(env)
        # Output through files, not pipes: a Wine process that the program
        # starts on the way (explorer.exe for the desktop) inherits them and
        # lives on; a pipe would then not end when the program does.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run([self.wine_run] + argv, env=e, stdout=out, stderr=err,
                                  timeout=timeout, stdin=subprocess.DEVNULL)
            out.seek(0)
            return done.returncode, out.read().decode("utf-8", "replace")

    def spawn(self, argv, env=None, log=None, cwd=None):
        e = dict(self.env)
        if env:
            e.update(env)
        return subprocess.Popen([self.wine_run] + argv, env=e, stdin=subprocess.DEVNULL,
                                stdout=log or subprocess.DEVNULL, stderr=subprocess.STDOUT,
                                cwd=cwd)

    def screenshot(self, path):
        """The whole screen of the prefix's display as a PNG; False when it failed."""
        display = self.display()
        if not display:
            return False
        done = subprocess.run(["import", "-display", display, "-window", "root", path],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        return done.returncode == 0 and os.path.exists(path)


class Simulator:
    """A device simulator of sim/ run beside the programs: commanded by lines
    appended to its control file (<work>/<name>-control), its errors in
    <work>/<name>.err, ended with "quit" or killed when it does not end."""

    def __init__(self, work, name, what):
        self.what = what
        self.control = os.path.join(work, name + "-control")
        self.errors = os.path.join(work, name + ".err")
        self.process = None

    def start(self, argv, ready, env=None, timeout_s=20):
        """Runs the Python simulator `argv` ([script, options...]) and waits
        until `ready()` gives a true value, which it returns."""
        open(self.control, "w").close()
        with open(self.errors, "w") as err:
            self.process = subprocess.Popen(
                [sys.executable, argv[0], "--control-file", self.control] + list(argv[1:]),
                env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            result = ready()
            if result:
                return result
            if self.process.poll() is not None:
                break
            time.sleep(0.1)
        with open(self.errors, encoding="utf-8", errors="replace") as f:
            raise Failure("the %s did not get ready: %s" % (self.what, f.read().strip()))

    def command(self, text):
        with open(self.control, "a") as f:
            f.write(text + "\n")

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.command("quit")
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=5)
        self.process = None


def hold_name(wine, recorder, name, log_path, timeout_ms=400000):
    """Another program holds `name` with an object of another kind
    (recorder.exe hold) for `timeout_ms`, so that a service cannot create its
    block or mutex under it; returns the process once the name is held."""
    log = open(log_path, "wb")
    p = wine.spawn([recorder, "hold", name, "--timeout", str(timeout_ms)], log=log)
    log.close()
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        with open(log_path, "rb") as f:
            if b"held " in f.read():
                return p
        if p.poll() is not None:
            break
        time.sleep(0.2)
    if p.poll() is None:
        p.kill()
        p.wait(timeout=10)
    raise Failure("another program holds the name %s" % name)


class MessageLog:
    """The message boxes a program recorded in its SURVEY_MESSAGE_LOG file,
    one UTF-8 line each: caption, icon and text, tab-separated."""

    def __init__(self, path):
        self.path = path

    def env(self):
        return {"SURVEY_MESSAGE_LOG": windows_path(self.path)}

    def lines(self):
        try:
            with open(self.path, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\n") for line in f]
        except OSError:
            return []

    def texts(self):
        return [line.split("\t")[-1] for line in self.lines()]

    def has(self, text):
        return text in self.texts()

    def wait_for(self, text, timeout_s):
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            if self.has(text):
                return True
            time.sleep(0.2)
        return self.has(text)


class WinProbe:
    """sim/winprobe.exe on the windows of one program, found by title prefix."""

    def __init__(self, wine, exe, title_prefix):
        self.wine = wine
        self.exe = exe
        self.title_prefix = title_prefix

    def available(self):
        return bool(self.exe) and os.path.exists(self.exe)

    def run(self, *argv, timeout=30):
        return self.wine.run([self.exe] + list(argv), timeout=timeout)

    def window(self, *argv, timeout_ms=15000, timeout=40):
        """A command on the program's main window (--title-prefix)."""
        return self.run(*argv, "--title-prefix", self.title_prefix, "--timeout",
                        str(timeout_ms), timeout=timeout)

    def controls(self):
        """{control id: [class, text, face colour...]} of the main window."""
        rc, out = self.window("controls")
        check(rc == 0, "winprobe lists the controls of '%s...'" % self.title_prefix)
        table = {}
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) >= 3 and parts[0].strip().lstrip("-").isdigit():
                table[int(parts[0])] = parts[1:]
        return table

    def text(self, control_id):
        rc, out = self.window("text", "--id", str(control_id))
        return out.rstrip("\n") if rc == 0 else None

    def face(self, control_id):
        rc, out = self.window("face", "--id", str(control_id))
        return out.strip() if rc == 0 else None


def config_text(path):
    """A configuration file's text: UTF-8 as the services write it, UTF-16
    or the ANSI code page as other tools may."""
    with open(path, "rb") as f:
        data = f.read()
    for encoding in ("utf-8", "utf-16"):
        try:
            return data.decode(encoding)
        except UnicodeDecodeError:
            pass
    return data.decode("cp1251")


def scenario_arguments(scenarios, tools):
    """The command line of one end-to-end set: --scenario NAME or
    --start-prefix / --stop-prefix, the folders, and --TOOL PATH for each
    program or library the set deploys."""
    p = argparse.ArgumentParser()
    p.add_argument("--scenario", choices=sorted(scenarios))
    p.add_argument("--source-dir", required=True)
    p.add_argument("--build-dir")
    for tool in tools:
        p.add_argument("--" + tool)
    p.add_argument("--prefix")
    p.add_argument("--work")
    p.add_argument("--start-prefix", action="store_true")
    p.add_argument("--stop-prefix", action="store_true")
    return p.parse_args()


def run_scenario_set(args, scenarios, make_scenario, set_name, messages):
    """Starts or stops the set's prefix, or runs one scenario in it.
    The work folder defaults to <build>/<set_name>, the prefix to
    <work>/wineprefix; `messages(scenario)` gives the message boxes printed
    when the scenario fails. Returns the exit code."""
    if args.work is None:
        args.work = os.path.join(args.build_dir, set_name)
    if args.prefix is None:
        args.prefix = os.path.join(args.work, "wineprefix")
    wine = Wine(args)
    if args.stop_prefix:
        wine.stop()
        return 0
    if args.start_prefix:
        os.makedirs(os.path.dirname(args.prefix), exist_ok=True)
        wine.start()
        return 0
    s = make_scenario(args, wine)
    try:
        scenarios[args.scenario](s)
    except Failure as e:
        print("FAILED:", e, flush=True)
        print("messages:", messages(s), flush=True)
        return 1
    finally:
        s.cleanup()
    print("scenario %s passed" % args.scenario)
    return 0


# survey-inspect.exe's stamped lines: "<UTC ISO time>Z <block> <text>".
STAMPED_LINE = re.compile(r"^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})Z (\S+) ?(.*)$")


def stamped_lines(text):
    """(Unix time, block, rest) of each stamped line of survey-inspect's
    output (a text or a list of lines)."""
    out = []
    for line in text.splitlines() if isinstance(text, str) else text:
        m = STAMPED_LINE.match(line)
        if m:
            t = datetime.datetime.strptime(m.group(1), "%Y-%m-%dT%H:%M:%S.%f").replace(
                tzinfo=datetime.timezone.utc).timestamp()
            out.append((t, m.group(2), m.group(3)))
    return out


def run_inspect(wine, exe, *argv, timeout=40):
    """survey-inspect.exe with `argv` in the prefix: (exit code, output with LF line ends)."""
    rc, out = wine.run([exe] + list(argv), timeout=timeout)
    return rc, out.replace("\r\n", "\n")
