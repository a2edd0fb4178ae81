#!/usr/bin/env python3
"""GNSS receiver simulator on a pseudo-terminal.

The simulator owns a pty master and links the slave's path to --link, so that a
Wine prefix can map that path as a COM port. It talks only while the program on
the other side has set the port to the simulator's speed (read back through
termios), like a receiver cabled at a fixed rate. It keeps the pty open while it
is silent, so the port looks like a cabled receiver that says nothing.

Sources of sentences:
  drive    synthetic drive along a route at a chosen speed (default)
  replay   a capture file (# comment lines skipped) or a day log of the GNSS
           service (the service's added fields are stripped)

Everything sent is recorded as JSON lines (--truth, "-" for standard output):
  {"event": "ready", "slave": ..., "link": ...}
  {"event": "sent", "t": <s since start>, "line": ..., "type": "GGA", "lat": ...}
  {"event": "speed", "port_speed": 9600, "talking": false}, {"event": "silent"}, ...

Commands, one per line, through --control-file (appended lines are read) or
--control-socket (UNIX stream socket, one reply line per command):
  silent [SECONDS]      fall silent (unplugged receiver), for a period or until "talk"
  talk                  talk again
  baud N                the receiver's speed in bit/s
  rate HZ               epochs per second (1-10)
  speed KMH             driving speed
  sats N                satellites in view and in use
  talker GP|GN          talker of all sentences; gga-talker GP|GN for GGA alone
  badcs N               the next N sentences get a wrong checksum
  lowercase N           the next N sentences get lowercase checksum digits
  junk N                send N junk lines now
  line BODY             send '$' BODY '*' checksum CR LF now
  raw TEXT              send TEXT now (\\r, \\n and \\xHH escapes)
  replay FILE | drive   switch the source
  status                reply with the state as JSON
  quit                  end the simulator
SIGUSR1 makes the simulator fall silent, SIGUSR2 makes it talk again.

--wine-com N makes COM N of the Wine prefix named by WINEPREFIX the pty, by a
link in the prefix's dosdevices folder (removed again at exit), so a test needs
no registry change and no restart of the Wine services.

With "-- COMMAND ARGS" the simulator runs COMMAND once the pty is ready, with
SURVEY_SIM_LINK, SURVEY_SIM_CONTROL and SURVEY_SIM_TRUTH in its environment,
and exits with COMMAND's exit code when it ends.
"""

import argparse
import datetime
import json
import math
import os
import pty
import random
import selectors
import signal
import socket
import subprocess
import sys
import termios
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import nmea_sentences as nmea  # noqa: E402

EARTH_RADIUS_M = 6371008.8
SPEEDS = {}
for _name in dir(termios):
    if _name.startswith("B") and _name[1:].isdigit():
        SPEEDS[getattr(termios, _name)] = int(_name[1:])


def decode_escapes(text):
    return text.encode("latin-1", "replace").decode("unicode_escape").encode("latin-1", "replace")


class Route:
    """A polyline of (lat, lon) waypoints travelled at constant speed."""

    def __init__(self, points, loop):
        if len(points) < 2:
            points = list(points) + list(points)
        self.points = points
        self.loop = loop
        self.legs = []
        for (a, b) in zip(points, points[1:] + ([points[0]] if loop else [])):
            self.legs.append((a, b, self.distance(a, b)))
        self.length = sum(leg[2] for leg in self.legs)

    @staticmethod
    def distance(a, b):
        lat = math.radians((a[0] + b[0]) / 2.0)
        dy = math.radians(b[0] - a[0]) * EARTH_RADIUS_M
        dx = math.radians(b[1] - a[1]) * EARTH_RADIUS_M * math.cos(lat)
        return math.hypot(dx, dy)

    def at(self, s):
        """(lat, lon, course in degrees, moving) after s metres."""
        if self.length <= 0.0:
            return self.points[0][0], self.points[0][1], 0.0, False
        moving = True
        if self.loop:
            s %= self.length
        elif s >= self.length:
            s, moving = self.length, False
        for a, b, d in self.legs:
            if s <= d or (a, b, d) == self.legs[-1]:
                f = 0.0 if d <= 0 else min(s / d, 1.0)
                lat = a[0] + (b[0] - a[0]) * f
                lon = a[1] + (b[1] - a[1]) * f
                dy = b[0] - a[0]
                dx = (b[1] - a[1]) * math.cos(math.radians(lat))
                course = (math.degrees(math.atan2(dx, dy)) + 360.0) % 360.0
                return lat, lon, course, moving
            s -= d
        return self.points[-1][0], self.points[-1][1], 0.0, False


def parse_route(text):
    points = []
    for part in text.split(";"):
        if part.strip():
            lat, lon = part.split(",")
            points.append((float(lat), float(lon)))
    return points


def load_capture(path):
    """Epochs (lists of lines) of a capture file or a service day log."""
    epochs, current, current_time = [], [], None
    with open(path, "rb") as f:
        data = f.read().decode("latin-1")
    for raw in data.splitlines():
        if not raw.strip() or raw.startswith("#"):
            continue
        line = nmea.strip_log_fields(raw)
        fields = line.split(",")
        stamp = None
        if line.startswith("$") and len(fields) > 1 and fields[0][3:] in ("GGA", "RMC", "GLL",
                                                                         "ZDA"):
            stamp = fields[1] if fields[0][3:] != "GLL" else (fields[5] if len(fields) > 5 else "")
        if stamp and current and stamp != current_time:
            epochs.append(current)
            current = []
        if stamp:
            current_time = stamp
        current.append(line)
    if current:
        epochs.append(current)
    return epochs


class Simulator:
    def __init__(self, args):
        self.args = args
        self.started = time.monotonic()
        self.rng = random.Random(args.seed)
        self.truth = None
        if args.truth == "-":
            self.truth = sys.stdout
        elif args.truth:
            self.truth = open(args.truth, "w", encoding="utf-8")
        self.master, self.slave = pty.openpty()
        # The slave end stays open here too: the line discipline keeps the
        # speed the program set and reads on the master never see a hang-up.
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.slave_name = os.ttyname(self.slave)
        self.link = args.link
        if self.link:
            if os.path.lexists(self.link):
                os.unlink(self.link)
            os.symlink(self.slave_name, self.link)
        self.wine_link = None
        if args.wine_com:
            # ntdll resolves \\.\COMn through this link directly; the port table
            # in the registry is read only when the Wine services start.
            prefix = os.environ.get("WINEPREFIX")
            if not prefix:
                raise SystemExit("--wine-com needs WINEPREFIX")
            self.wine_link = os.path.join(prefix, "dosdevices", "com%d" % args.wine_com)
            if os.path.lexists(self.wine_link):
                os.unlink(self.wine_link)
            os.symlink(self.link or self.slave_name, self.wine_link)
        self.baud = args.baud
        self.rate = args.rate
        self.speed_mps = args.speed / 3.6
        self.sats = args.sats
        self.talker = args.talker
        self.gga_talker = args.gga_talker or args.talker
        self.silent_until = None  # None: talking; inf: until "talk"; else monotonic deadline
        if args.start_silent:
            self.silent_until = math.inf
        self.silent_at = (self.started + args.silent_after) if args.silent_after is not None else None
        self.bad_next = 0
        self.lower_next = 0
        self.sent_count = 0
        self.epoch = 0
        self.next_epoch = self.started
        self.distance = 0.0
        self.route = Route(parse_route(args.route), args.loop)
        start = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None, microsecond=0)
        if args.start:
            start = datetime.datetime.strptime(args.start, "%Y-%m-%dT%H:%M:%S")
        self.start_utc = start
        self.replay_epochs = load_capture(args.replay) if args.replay else None
        self.replay_index = 0
        self.last_port_speed = None
        self.talking = False
        self.quit = False
        self.closed = False
        self.control_file = args.control_file
        self.control_offset = 0
        self.control_partial = b""
        if self.control_file:
            open(self.control_file, "ab").close()
            self.control_offset = os.path.getsize(self.control_file)
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.master, selectors.EVENT_READ, "pty")
        self.server = None
        if args.control_socket:
            if os.path.lexists(args.control_socket):
                os.unlink(args.control_socket)
            self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.server.bind(args.control_socket)
            self.server.listen(4)
            self.server.setblocking(False)
            self.selector.register(self.server, selectors.EVENT_READ, "accept")
        self.clients = {}
        signal.signal(signal.SIGUSR1, lambda *_: self.command("silent"))
        signal.signal(signal.SIGUSR2, lambda *_: self.command("talk"))
        signal.signal(signal.SIGTERM, lambda *_: setattr(self, "quit", True))
        self.record({"event": "ready", "slave": self.slave_name, "link": self.link,
                     "baud": self.baud})

    # -- truth -------------------------------------------------------------
    def record(self, item):
        if self.truth is None:
            return
        item.setdefault("t", round(time.monotonic() - self.started, 4))
        self.truth.write(json.dumps(item, ensure_ascii=False) + "\n")
        self.truth.flush()

    # -- port --------------------------------------------------------------
    def port_speed(self):
        try:
            attrs = termios.tcgetattr(self.master)
        except termios.error:
            return None
        return SPEEDS.get(attrs[5], attrs[5])

    def is_silent(self, now):
        if self.silent_at is not None and now >= self.silent_at:
            self.silent_at = None
            duration = self.args.silent_for
            self.silent_until = math.inf if not duration else now + duration
            self.record({"event": "silent", "seconds": duration or None})
        if self.silent_until is not None and now >= self.silent_until:
            self.silent_until = None
            self.record({"event": "talk"})
        return self.silent_until is not None

    def write_line(self, line, info=None):
        data = line.encode("latin-1", "replace") if isinstance(line, str) else line
        try:
            written = os.write(self.master, data)
        except BlockingIOError:
            written = 0
        except OSError as e:
            self.record({"event": "write_error", "error": str(e)})
            return
        entry = dict(info) if info else nmea.describe(data.decode("latin-1"))
        entry["event"] = "sent" if written == len(data) else "dropped"
        if 0 < written < len(data):
            entry["written"] = written
        self.record(entry)
        self.sent_count += 1

    def send_sentence(self, body):
        bad = self.bad_next > 0 or (self.args.bad_checksum_every and
                                    (self.sent_count + 1) % self.args.bad_checksum_every == 0)
        lower = not bad and self.lower_next > 0
        if self.bad_next > 0:
            self.bad_next -= 1
        elif lower:
            self.lower_next -= 1
        line = nmea.frame(body, bad_checksum=bad, lowercase=lower)
        self.write_line(line)
        if self.args.junk_every and self.sent_count % self.args.junk_every == 0:
            self.send_junk(1)

    def send_junk(self, count):
        for _ in range(count):
            kind = self.rng.randrange(3)
            if kind == 0:  # noise without any sentence tag
                text = "".join(chr(self.rng.randrange(33, 127)) for _ in range(self.rng.randrange(
                    5, 60))).replace("$", "#") + "\r\n"
            elif kind == 1:  # a sentence cut off in the middle
                body = nmea.gga(self.gga_talker, 0, 55.0, 37.0, 8)
                text = "$" + body[:self.rng.randrange(5, len(body))] + "\r\n"
            else:  # a proprietary sentence
                text = nmea.frame("PSRF150,1")
            info = nmea.describe(text)
            info["type"] = "junk"
            self.write_line(text, info)

    # -- epochs -------------------------------------------------------------
    def drive_epoch(self):
        t = self.epoch / float(self.rate)
        lat, lon, course, moving = self.route.at(self.distance)
        utc = self.start_utc + datetime.timedelta(seconds=t)
        sod = utc.hour * 3600 + utc.minute * 60 + utc.second + utc.microsecond / 1e6
        speed = self.speed_mps if moving else 0.0
        prns = list(range(1, self.sats + 1))
        self.send_sentence(nmea.gga(self.gga_talker, sod, lat, lon, self.sats,
                                    decimals=self.args.decimals))
        self.send_sentence(nmea.rmc(self.talker, sod, lat, lon, speed, course, utc.day, utc.month,
                                    utc.year, decimals=self.args.decimals))
        if self.args.gsa_split and self.talker == "GN":
            half = (len(prns) + 1) // 2
            self.send_sentence(nmea.gsa(self.talker, prns[:half]))
            self.send_sentence(nmea.gsa(self.talker, [p + 64 for p in prns[half:]]))
        else:
            self.send_sentence(nmea.gsa(self.talker, prns))
        self.record({"event": "fix", "lat": lat, "lon": lon, "speed_mps": speed,
                     "time": nmea.time_number(sod), "sats": self.sats,
                     "date": utc.strftime("%d%m%y"), "distance_m": self.distance})

    def replay_epoch(self):
        if self.replay_index >= len(self.replay_epochs):
            if not self.args.loop:
                return
            self.replay_index = 0
        for line in self.replay_epochs[self.replay_index]:
            if self.args.eol == "crlf":
                self.write_line(line + "\r\n")
            else:
                self.write_line(line + "\n")
        self.replay_index += 1

    def tick(self, now):
        while now >= self.next_epoch:
            step = 1.0 / self.rate
            port_speed = self.port_speed()
            talking = port_speed == self.baud and not self.is_silent(now)
            if port_speed != self.last_port_speed or talking != self.talking:
                self.record({"event": "speed", "port_speed": port_speed, "baud": self.baud,
                             "talking": talking})
                self.last_port_speed, self.talking = port_speed, talking
            # The route goes on while the receiver is silent or mismatched.
            if self.epoch > 0:
                self.distance += self.speed_mps * step
            if talking:
                if self.replay_epochs is not None:
                    self.replay_epoch()
                else:
                    self.drive_epoch()
            elif port_speed != self.baud and self.args.mismatch == "garbage" and \
                    not self.is_silent(now):
                # Bytes at the wrong speed arrive as framing garbage.
                self.write_line(bytes(self.rng.randrange(128, 256) for _ in range(24)),
                                {"type": "garbage"})
            self.epoch += 1
            self.next_epoch += step
            if self.next_epoch < now - 1.0:  # stalled (suspended): do not burst
                self.next_epoch = now + step

    # -- commands -------------------------------------------------------------
    def command(self, text):
        parts = text.strip().split(None, 1)
        if not parts:
            return "ok"
        name, arg = parts[0].lower(), (parts[1] if len(parts) > 1 else "")
        self.record({"event": "command", "command": text.strip()})
        try:
            if name == "silent":
                self.silent_until = time.monotonic() + float(arg) if arg else math.inf
                self.record({"event": "silent", "seconds": float(arg) if arg else None})
            elif name == "talk":
                self.silent_until = None
                self.silent_at = None
                self.record({"event": "talk"})
            elif name == "baud":
                self.baud = int(arg)
            elif name == "rate":
                self.rate = max(1, min(10, int(arg)))
            elif name == "speed":
                self.speed_mps = float(arg) / 3.6
            elif name == "sats":
                self.sats = max(0, min(12, int(arg)))
            elif name == "talker":
                self.talker = arg.strip().upper()[:2]
                self.gga_talker = self.talker
            elif name == "gga-talker":
                self.gga_talker = arg.strip().upper()[:2]
            elif name == "badcs":
                self.bad_next += int(arg or 1)
            elif name == "lowercase":
                self.lower_next += int(arg or 1)
            elif name == "junk":
                self.send_junk(int(arg or 1))
            elif name == "line":
                self.write_line(nmea.frame(arg.strip()))
            elif name == "raw":
                self.write_line(decode_escapes(arg))
            elif name == "replay":
                self.replay_epochs, self.replay_index = load_capture(arg.strip()), 0
            elif name == "drive":
                self.replay_epochs = None
            elif name == "status":
                return json.dumps({"baud": self.baud, "port_speed": self.port_speed(),
                                   "talking": self.talking, "silent": self.silent_until is not None,
                                   "rate": self.rate, "sats": self.sats, "sent": self.sent_count,
                                   "slave": self.slave_name})
            elif name == "quit":
                self.quit = True
            else:
                return "error unknown command"
        except (ValueError, OSError) as e:
            return "error %s" % e
        return "ok"

    def poll_control_file(self):
        if not self.control_file:
            return
        try:
            size = os.path.getsize(self.control_file)
        except OSError:
            return
        if size < self.control_offset:  # truncated: start over
            self.control_offset, self.control_partial = 0, b""
        if size == self.control_offset:
            return
        with open(self.control_file, "rb") as f:
            f.seek(self.control_offset)
            data = f.read(size - self.control_offset)
        self.control_offset += len(data)
        data = self.control_partial + data
        lines = data.split(b"\n")
        self.control_partial = lines.pop()
        for line in lines:
            self.command(line.decode("utf-8", "replace"))

    def handle_io(self, timeout):
        for key, _ in self.selector.select(timeout):
            if key.data == "pty":
                try:
                    os.read(self.master, 4096)  # the program's output: dropped
                except OSError:
                    pass
            elif key.data == "accept":
                conn, _ = self.server.accept()
                conn.setblocking(False)
                self.clients[conn] = b""
                self.selector.register(conn, selectors.EVENT_READ, "client")
            else:
                conn = key.fileobj
                try:
                    data = conn.recv(4096)
                except OSError:
                    data = b""
                if not data:
                    self.selector.unregister(conn)
                    self.clients.pop(conn, None)
                    conn.close()
                    continue
                buf = self.clients[conn] + data
                *lines, rest = buf.split(b"\n")
                self.clients[conn] = rest
                for line in lines:
                    reply = self.command(line.decode("utf-8", "replace"))
                    try:
                        conn.sendall((reply + "\n").encode())
                    except OSError:
                        pass

    def run(self, child=None, deadline=None):
        while not self.quit:
            now = time.monotonic()
            if deadline is not None and now >= deadline:
                break
            if child is not None and child.poll() is not None:
                break
            self.poll_control_file()
            self.tick(now)
            self.handle_io(min(0.02, max(0.0, self.next_epoch - time.monotonic())))

    def close(self):
        if self.closed:
            return
        self.closed = True
        if self.wine_link and os.path.islink(self.wine_link):
            os.unlink(self.wine_link)
        if self.link and os.path.islink(self.link) and os.readlink(self.link) == self.slave_name:
            os.unlink(self.link)
        if self.server:
            self.server.close()
            if os.path.lexists(self.args.control_socket):
                os.unlink(self.args.control_socket)
        os.close(self.master)
        os.close(self.slave)
        if self.truth not in (None, sys.stdout):
            self.truth.close()


def make_parser():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--link", help="make this path a symlink to the pty slave")
    p.add_argument("--wine-com", type=int, metavar="N",
                   help="map COM N of the Wine prefix named by WINEPREFIX to the pty")
    p.add_argument("--baud", type=int, default=115200, help="receiver speed in bit/s")
    p.add_argument("--mismatch", choices=("silent", "garbage"), default="silent",
                   help="what the receiver sends while the port has another speed")
    p.add_argument("--rate", type=int, default=1, choices=range(1, 11), metavar="HZ")
    p.add_argument("--route", default="55.7558,37.6173;55.7600,37.6300",
                   help="waypoints 'lat,lon;lat,lon;...' in signed degrees")
    p.add_argument("--loop", action="store_true", help="repeat the route or the replay")
    p.add_argument("--speed", type=float, default=36.0, help="driving speed in km/h")
    p.add_argument("--sats", type=int, default=8)
    p.add_argument("--talker", default="GP", choices=("GP", "GN"))
    p.add_argument("--gga-talker", choices=("GP", "GN"))
    p.add_argument("--gsa-split", action="store_true",
                   help="with talker GN, one GSA per constellation")
    p.add_argument("--decimals", type=int, default=5, help="decimals of the minutes")
    p.add_argument("--start", help="UTC start of the drive, YYYY-MM-DDTHH:MM:SS (default now)")
    p.add_argument("--replay", help="capture file or service day log to replay")
    p.add_argument("--eol", choices=("crlf", "keep"), default="crlf",
                   help="replayed line ends: CR LF, or LF as the capture file stores them")
    p.add_argument("--start-silent", action="store_true")
    p.add_argument("--silent-after", type=float, help="fall silent after this many seconds")
    p.add_argument("--silent-for", type=float, default=0.0,
                   help="silence length in seconds (0: until 'talk')")
    p.add_argument("--bad-checksum-every", type=int, default=0)
    p.add_argument("--junk-every", type=int, default=0)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--truth", help="JSON-lines record of what was sent ('-': stdout)")
    p.add_argument("--control-file", help="file whose appended lines are commands")
    p.add_argument("--control-socket", help="UNIX socket for commands")
    p.add_argument("--duration", type=float, help="end after this many seconds")
    p.add_argument("command", nargs=argparse.REMAINDER,
                   help="-- COMMAND ARGS: run COMMAND against the simulator")
    return p


def main(argv=None):
    args = make_parser().parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not 1 <= args.sats <= 12:
        args.sats = max(0, min(12, args.sats))
    sim = Simulator(args)
    child = None
    rc = 0
    try:
        if command:
            env = dict(os.environ)
            env["SURVEY_SIM_LINK"] = args.link or sim.slave_name
            if args.control_file:
                env["SURVEY_SIM_CONTROL"] = os.path.abspath(args.control_file)
            if args.truth and args.truth != "-":
                env["SURVEY_SIM_TRUTH"] = os.path.abspath(args.truth)
            child = subprocess.Popen(command, env=env)
        deadline = time.monotonic() + args.duration if args.duration else None
        sim.run(child, deadline)
    except KeyboardInterrupt:
        pass
    finally:
        if child is not None:
            if child.poll() is None:
                child.terminate()
                try:
                    child.wait(10)
                except subprocess.TimeoutExpired:
                    child.kill()
                    child.wait()
            rc = child.returncode
        sim.close()
    return rc


if __name__ == "__main__":
    sys.exit(main())
