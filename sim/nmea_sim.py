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
  {"event": "speed", "port_speed": 9600, "talking": false}, {"event": "silent"},
  {"event": "unplug", "seconds": 8}, {"event": "plug", "slave": ...}, ...

Commands, one per line, through --control-file (appended lines are read) or
--control-socket (UNIX stream socket, one reply line per command):
  silent [SECONDS]      fall silent (unplugged receiver), for a period or until "talk"
  talk                  talk again
  unplug [SECONDS]      the port goes away (pty closed, its links removed) and comes
                        back at the same path after SECONDS, or on "plug"
  plug                  the port comes back now; it talks once its speed is set again
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

The pty, truth, command and child-process plumbing is pty_device.py's.
"""

import argparse
import datetime
import json
import math
import os
import random
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import nmea_sentences as nmea  # noqa: E402
import pty_device  # noqa: E402
from pty_device import SPEEDS, decode_escapes  # noqa: E402,F401

EARTH_RADIUS_M = 6371008.8


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


class Simulator(pty_device.PtyDevice):
    def __init__(self, args):
        super().__init__(link=args.link, wine_com=args.wine_com, truth=args.truth,
                         control_file=args.control_file, control_socket=args.control_socket)
        self.args = args
        self.rng = random.Random(args.seed)
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
        signal.signal(signal.SIGUSR1, lambda *_: self.run_command("silent"))
        signal.signal(signal.SIGUSR2, lambda *_: self.run_command("talk"))
        self.record({"event": "ready", "slave": self.slave_name, "link": self.link,
                     "baud": self.baud})

    # -- port --------------------------------------------------------------
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
            written = self.write(data)
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

    def next_due(self):
        return self.next_epoch

    # -- commands -------------------------------------------------------------
    def command(self, name, arg):
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
            else:
                return "error unknown command"
        except (ValueError, OSError) as e:
            return "error %s" % e
        return "ok"


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
    command = pty_device.child_command(args.command)
    if not 1 <= args.sats <= 12:
        args.sats = max(0, min(12, args.sats))
    return pty_device.run_main(Simulator(args), args, command)


if __name__ == "__main__":
    sys.exit(main())
