#!/usr/bin/env python3
"""SICK LMS100 laser scanner simulator: one or two scanners speaking CoLa A over TCP.

Each scanner listens on its own loopback address (default 127.0.0.2 and
127.0.0.3, port 2111) and serves one client connection at a time; a newer
connection replaces an older one, and a new connection after a drop works.
Scanners are numbered 0 and 1, as the scanner service numbers its slots and its
logs (scanner0.log, scanner1.log): scanner 0 is the first address.

What a scanner answers (STX ... ETX telegrams, worded as an LMS1xx words them):
  sMN SetAccessMode 03 <hash>   sAN SetAccessMode 1 (0 for a wrong hash, see --password)
  sWN LMDscandatacfg <12 values> sWA LMDscandatacfg; "sFA 4" when refused
                                (--refuse-config), "sFA A" before SetAccessMode
  sMN Run                       sAN Run 1
  sMN LMCstartmeas              sAN LMCstartmeas 0; the device state goes to 5
                                (preparing) and reaches 7 after --ready-after polls
                                (--relapse N: then 5 again for N polls, then 7)
  sRN STlms                     sRA STlms <state> 0 8 hh:mm:ss A dd.mm.yyyy 0 0 0
                                (6 = stopped, 5 = preparing, 7 = measuring)
  sMN LMCstopmeas               sAN LMCstopmeas 0; the state goes back to 6
  sRN LMDscandata               one scan in the configured telegram layout while the
                                state is 7, else "sFA 4"
The output configuration stays in the scanner across connections (until "off").
The client's first configuration ("01 00 1 1 0 00 00 0 0 0 0 1") gives 16-bit
remission without encoder: DIST1 at field 20, the count at 25, RSSI1 right after
the distances. Its second one ("0   0 1 0 0  1  0 0 0 0 0 +1") gives one encoder
and 8-bit remission: DIST1 at field 22, the count at 27, then the 8-bit channel
count and RSSI1. Before any configuration a scan carries distances only.

The scene: a flat road --base mm below the scanner, an optional ceiling
(--ceiling mm above), nothing else (no echo gives 0; the range ends at 20 m). The
geometry follows the vehicle description of the scanner service: --rotation is
the direction of the first point, clockwise from horizontal right, and the scan
turns counter-clockwise by --step per point. The clearance sector (--sector
START:END, degrees clockwise from straight up, as in the vehicle description)
covers the points the service's clearance check reads. An obstacle, when on,
fills the sector at --obstacle-distance mm. The service's alarm compares each
sector point with the previous scan and ignores points without an echo on either
side: give the sector a background (--ceiling, or a sector over the road) for an
obstacle to raise it.

Scans are numbered from 1 by the scan polls a scanner receives (a poll left
unanswered keeps its number). Counters and time stamps advance as a real
scanner's: the scan counter counts the scans made at 25 Hz (0.25 deg step) or
50 Hz since power-on, the telegram counter the scan telegrams sent; times are
microseconds since power-on (--uptime seconds before the simulator started).

Per-scanner options take one value for both scanners or two separated by a
comma ("--refuse-config first,none"); an empty entry keeps the default.

Everything is recorded as JSON lines (--truth, "-" for standard output); "t" is
seconds since the simulator started:
  {"event": "ready", "scanners": [{"scanner": 0, "address": ..., "port": ..., "points": ...,
      "sector": [START, END], "sector_points": [FIRST, COUNT], ...}, ...]}
  {"event": "connect" | "disconnect", "scanner": 0, "peer": ..., "reason": ...}
  {"event": "received", "scanner": 0, "text": "sRN STlms", "answered": true}
  {"event": "reply", "scanner": 0, "text": "sAN Run 1", "chunks": [11]}
  {"event": "scan", "scanner": 0, "seq": 12, "t_request": ..., "utc": "...Z", "layout": 1,
      "status": [0, 0], "good": true, "points": 1081, "remission_points": 1081,
      "remission_bits": 16, "distances": [...], "remissions": [...], "obstacle": false,
      "telegram_counter": ..., "scan_counter": ..., "bytes": ..., "chunks": [...]}
  {"event": "lost", ...} a reply cut off by a drop, {"event": "command", "command": ...,
      "result": "ok"}, {"event": "scene", ...} the scanner's scene after a change
The service logs a scan as its remission count followed by the distances and the
remission values: "remission_points", "distances" and "remissions" of the scan record.

Commands, one per line, through --control-file (appended lines are read) or
--control-socket (UNIX stream socket, one reply line per command). A leading
scanner number applies a command to that scanner only ("1 drop"); without one
it applies to both:
  obstacle on [MM] | off | K [MM]  obstacle in the sector (K: for the next K scans)
  obstacle blink [MM]    the obstacle on every other scan, from the next one on, until
                         "obstacle off": every scan differs from the one before
  status B5[:B6] [K|on]  device status fields 5 and 6 (hexadecimal) of the next K scans
                         (default 1; on: until "status 0"). A real LMS reports an
                         error as "0 1" (status 0:1), a contamination warning as "0 2".
  drop [reset]           close the connection now (reset: with TCP RST)
  silent [SECONDS] | talk  read but answer nothing, for a while or until "talk"
  slow MS [mid]          hold every reply MS ms (mid: send half, then the rest after MS)
  split off|on|random|P[:P...]  cut every reply into TCP writes (on = random cuts;
                         P: byte positions), --split-gap ms apart
  oversize [BYTES]       pad the next scan telegram to BYTES (default 13000)
  points N               points per scan from now on
  announce N [K]         the count fields of the next K scans say N, the values stay
  replay FILE [raw]      answer scan polls with the telegram in FILE (a name alone is
                         looked up in the sample folder); raw: bytes as stored,
                         otherwise STX/ETX are added when missing | scene: back to the scene
  base MM | ceiling MM | noise MM | rotation DEG | sector START:END
  ready-after N|never | refuse-config none|first|all | relapse N   for the next start
  off [SECONDS] | on     power the scanner off (connections refused) and on again
                         (SECONDS: on again by itself after that long, measuring
                         only after a new start sequence and --ready-after polls)
  raw TEXT               send TEXT now (\\xHH escapes; not framed)
  show                   reply with the state as JSON
  quit                   end the simulator
--on-scan N COMMAND runs COMMAND when scan poll N arrives, before it is answered
("--on-scan 20 'obstacle 5'": scans 20 to 24 carry the obstacle; with a scanner
number, only that scanner's poll N); --at SECONDS COMMAND runs it that many
seconds after the start.

Examples:
  sim/sopas_sim.py --truth truth.jsonl --control-file control
      two scanners on 127.0.0.2:2111 and 127.0.0.3:2111; then, while it runs:
      echo "1 obstacle 10" >> control      10 scans with the obstacle on scanner 1
      echo "0 status 0:1 5" >> control     5 scans of scanner 0 with a device error
      echo "drop" >> control               both connections closed
  sim/sopas_sim.py --refuse-config none,first --ceiling 4500 --noise 5 --sector=-20:20
      scanner 0 in the first layout, scanner 1 in the second; a ceiling above
      gives the sector echoes, so an obstacle there raises the service's alarm
  sim/sopas_sim.py --scanners 1 --split random --on-scan 100 drop --replay \
      tim5xx_osgar_sRA_LMDscandata.dat
      one scanner replaying a real telegram in random pieces, dropped at scan 100

With "-- COMMAND ARGS" the simulator runs COMMAND once the scanners listen, with
SURVEY_SIM_SCANNERS ("127.0.0.2:2111 127.0.0.3:2111"), SURVEY_SIM_CONTROL and
SURVEY_SIM_TRUTH in its environment, and exits with COMMAND's exit code.
"""


import argparse
import json
import os
import random
import selectors
import signal
import socket
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pty_device  # noqa: E402
import sopas_telegrams as cola  # noqa: E402
from sopas_scanner import (Scanner, UnknownCommand, parse_ready, parse_refusal,  # noqa: E402
                           parse_sector, parse_slow, parse_split)

DEFAULT_PASSWORD = "5C0B19E2"  # the access hash the suite's scanners are set up with
SCENE_COMMANDS = ("points", "base", "ceiling", "noise", "rotation", "sector")


class Chunk:
    """One TCP write of a reply; the last one of a reply carries its record."""

    def __init__(self, due, data, record=None, close_after=False):
        self.due, self.data, self.sent = due, data, 0
        self.record, self.close_after = record, close_after


# Per-scanner options: name, converter, default (one value, or two separated by a comma), help.
PER_SCANNER = [
    ("address", str, "127.0.0.2,127.0.0.3", "listening address"),
    ("port", int, "2111", "TCP port (0: a free port, named in the ready record)"),
    ("refuse_config", parse_refusal, "none",
     "refuse the first LMDscandatacfg write of each connection, or all of them: none|first|all"),
    ("ready_after", parse_ready, "3",
     "STlms polls answered with state 5 after LMCstartmeas before state 7 (never: stays 5)"),
    ("relapse", int, "0",
     "STlms polls answered with state 5 again after the first state 7 of a start"),
    ("step", float, "0.25", "angular step in degrees (0.25: 25 Hz, 0.5: 50 Hz)"),
    ("points", int, "0", "points per scan (0: 270 degrees / step + 1, so 1081 or 541)"),
    ("start_angle", float, "-45", "start angle in the telegram, degrees"),
    ("rotation", float, "0", "direction of the first point, clockwise from horizontal right"),
    ("sector", parse_sector, "-10:10",
     "clearance sector START:END, degrees clockwise from straight up"),
    ("base", float, "1500", "distance from the scanner down to the road, mm"),
    ("ceiling", float, "0", "height of a ceiling above the scanner, mm (0: open sky)"),
    ("obstacle_distance", int, "2500", "distance of the obstacle in the sector, mm"),
    ("noise", float, "0", "distance noise, +-mm, seeded by --seed (0: noise-free)"),
    ("split", parse_split, "off", "cut replies into TCP writes: off|random|P[:P...]"),
    ("slow", parse_slow, "0", "hold every reply MS ms before it goes out (MS:mid: in the middle)"),
    ("drop_after", int, "0", "close the connection once scan N has been sent (0: never)"),
    ("replay", str, "", "answer scan polls with the telegram in this file"),
]


def split_per_scanner(text):
    parts = text.split(",")
    if len(parts) > 2:
        raise ValueError("one value, or two separated by a comma")
    return parts if len(parts) == 2 else parts * 2


def scanner_options(args):
    """One dict of settings per scanner from the per-scanner options."""
    result = [{} for _ in range(args.scanners)]
    for name, convert, default, _ in PER_SCANNER:
        given = getattr(args, name)
        defaults = split_per_scanner(default)
        try:
            values = split_per_scanner(given) if given is not None else defaults
        except ValueError as e:
            raise SystemExit("--%s: %s" % (name.replace("_", "-"), e))
        for i in range(args.scanners):
            text = values[i] if values[i] != "" else defaults[i]
            try:
                result[i][name] = convert(text)
            except ValueError:
                raise SystemExit("--%s: bad value %r" % (name.replace("_", "-"), text))
    for opts in result:
        if opts["step"] <= 0:
            raise SystemExit("--step must be positive")
    return result


class Simulator:
    def __init__(self, args, clock=time.monotonic, wall=time.time):
        self.args = args
        self.clock = clock
        self.wall = wall
        self.started = clock()
        self.quit = False
        self.closed = False
        self.truth = None
        if args.truth == "-":
            self.truth = sys.stdout
        elif args.truth:
            self.truth = open(args.truth, "w", encoding="utf-8")
        self.selector = selectors.DefaultSelector()
        self.scanners = [Scanner(i, o, self) for i, o in enumerate(scanner_options(args))]
        self.split_rng = random.Random(args.seed)
        try:
            self.timed = sorted((float(t), c) for t, c in args.at or [])
            scheduled = [(int(n), text) for n, text in args.on_scan or []]
        except ValueError:
            raise SystemExit("--at takes SECONDS COMMAND, --on-scan N COMMAND")
        for n, text in scheduled:
            words = text.split(None, 1)
            targets = self.scanners
            if words and words[0].isdigit():
                targets = [s for s in self.scanners if s.index == int(words[0])]
                text = words[1] if len(words) > 1 else ""
            for s in targets:
                s.on_scan.setdefault(n, []).append(text)
        for s in self.scanners:
            self.listen(s)
        self.control = pty_device.ControlFile(args.control_file)
        self.control_socket = pty_device.ControlSocket(args.control_socket, self.selector,
                                                       self.command)
        self.record({"event": "ready", "scanners": [s.describe() for s in self.scanners]})

    # -- truth ------------------------------------------------------------------
    def since_start(self, now):
        return round(now - self.started, 4)

    def record(self, item):
        if self.truth is None:
            return
        item.setdefault("t", self.since_start(self.clock()))
        self.truth.write(json.dumps(item, ensure_ascii=False) + "\n")
        self.truth.flush()

    def password_ok(self, text):
        return self.args.password.lower() == "any" or text.upper() == self.args.password.upper()

    def schedule(self, seconds, command):
        """Runs `command` `seconds` from now (as --at does)."""
        self.timed.append((self.since_start(self.clock()) + seconds, command))
        self.timed.sort(key=lambda item: item[0])

    # -- sockets ------------------------------------------------------------------
    def listen(self, s):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            sock.bind((s.address, s.port))
        except OSError as e:
            sock.close()
            raise SystemExit("scanner %d: cannot listen on %s:%d: %s" % (s.index, s.address,
                                                                        s.port, e))
        sock.listen(4)
        sock.setblocking(False)
        s.port = sock.getsockname()[1]
        s.listener = sock
        self.selector.register(sock, selectors.EVENT_READ, ("listen", s))

    def accept(self, s):
        try:
            conn, peer = s.listener.accept()
        except (BlockingIOError, InterruptedError):
            return
        if s.conn is not None:
            self.close_connection(s, "replaced")
        conn.setblocking(False)
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        s.conn, s.peer, s.writing = conn, "%s:%d" % peer, False
        s.new_connection()
        self.selector.register(conn, selectors.EVENT_READ, ("conn", s))
        self.record({"event": "connect", "scanner": s.index, "peer": s.peer})

    def close_connection(self, s, reason, reset=False):
        if s.conn is None:
            return
        for c in s.out:
            if c.record is not None:
                lost = {"event": "lost", "scanner": s.index, "reply": c.record.get("text"),
                        "seq": c.record.get("seq"), "sent": c.sent, "bytes": len(c.data)}
                self.record(lost)
        s.out = []
        self.selector.unregister(s.conn)
        if reset:
            s.conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        s.conn.close()
        s.conn = None
        self.record({"event": "disconnect", "scanner": s.index, "peer": s.peer, "reason": reason})

    def power(self, s, on):
        if not on and s.powered:
            self.close_connection(s, "power off")
            self.selector.unregister(s.listener)
            s.listener.close()
            s.listener = None
            s.powered = False
        elif on and not s.powered:
            s.power_on(self.clock())
            self.listen(s)

    def want_write(self, s, on):
        if s.conn is not None and s.writing != on:
            mask = selectors.EVENT_READ | (selectors.EVENT_WRITE if on else 0)
            self.selector.modify(s.conn, mask, ("conn", s))
            s.writing = on

    def read(self, s):
        try:
            data = s.conn.recv(65536)
        except (BlockingIOError, InterruptedError):
            return
        except OSError as e:
            self.close_connection(s, "error: %s" % e)
            return
        if not data:
            self.close_connection(s, "peer closed")
            return
        for kind, item in s.deframer.feed(data):
            if kind == "junk":
                self.record({"event": "junk", "scanner": s.index,
                             "bytes": item.decode("latin-1")})
            else:
                self.telegram(s, item)
            if s.conn is None:
                break

    def telegram(self, s, text):
        now, wall = self.clock(), self.wall()
        poll = cola.tokens_of(text)[:2] == ["sRN", "LMDscandata"]
        if poll:
            s.polls += 1
            for command in s.on_scan.pop(s.polls, []):
                self.command("%d %s" % (s.index, command))
        if s.silent_until is not None and now >= s.silent_until:
            s.silent_until = None
        answered = s.silent_until is None and s.conn is not None
        received = {"event": "received", "scanner": s.index, "text": text, "answered": answered}
        if poll:
            received["seq"] = s.polls
        self.record(received)
        if not answered:
            return
        reply, record = s.respond(text, now, wall)
        if record is None:
            record = {"event": "reply", "scanner": s.index, "text": reply}
        else:
            if self.args.truth_telegrams:
                record["telegram"] = reply if isinstance(reply, str) else reply.decode("latin-1")
            if self.args.truth_brief:
                record.pop("distances", None)
                record.pop("remissions", None)
        data = reply if isinstance(reply, bytes) else cola.frame(reply)
        record["bytes"] = len(data)
        close = record["event"] == "scan" and s.drop_after > 0 and s.polls == s.drop_after
        self.enqueue(s, data, record, now, close)

    def cuts(self, s, size):
        if s.split == "random":
            cuts = {self.split_rng.randrange(1, size) for _ in range(self.split_rng.randint(1, 3))}
            if self.split_rng.random() < 0.3:
                cuts.add(size - 1)  # the ETX alone
            if self.split_rng.random() < 0.3:
                cuts.add(1)  # the STX alone
            return cuts
        return {p for p in (s.split or []) if 0 < p < size}

    def enqueue(self, s, data, record, now, close_after=False):
        if s.conn is None or not data:
            return
        cuts = self.cuts(s, len(data)) if len(data) > 1 else set()
        slow = s.slow_ms / 1000.0
        mid = len(data) // 2 if s.slow_mid and slow > 0 and len(data) > 1 else None
        if mid:
            cuts.add(mid)
        due = now if mid else now + slow
        start = 0
        chunks = []
        for end in sorted(cuts) + [len(data)]:
            chunks.append(Chunk(due, data[start:end]))
            due += slow if end == mid else self.args.split_gap / 1000.0
            start = end
        chunks[-1].record, chunks[-1].close_after = record, close_after
        record["chunks"] = [len(c.data) for c in chunks]
        s.out.extend(chunks)
        self.flush(s, now)

    def flush(self, s, now):
        while s.conn is not None and s.out and s.out[0].due <= now:
            c = s.out[0]
            try:
                c.sent += s.conn.send(c.data[c.sent:])
            except (BlockingIOError, InterruptedError):
                self.want_write(s, True)
                return
            except OSError as e:
                self.close_connection(s, "error: %s" % e)
                return
            if c.sent < len(c.data):
                self.want_write(s, True)
                return
            s.out.pop(0)
            if c.record is not None:
                self.record(c.record)
            if c.close_after:
                self.close_connection(s, "drop after scan %d" % s.drop_after)
                return
        self.want_write(s, False)

    # -- commands -------------------------------------------------------------------
    def command(self, text):
        text = text.strip()
        if not text:
            return "ok"
        result = self.apply(text)
        self.record({"event": "command", "command": text, "result": result})
        return result

    def apply(self, text):
        parts = text.split(None, 1)
        targets = self.scanners
        if parts[0].isdigit():
            index = int(parts[0])
            if index >= len(self.scanners):
                return "error no scanner %d" % index
            targets = [self.scanners[index]]
            parts = parts[1].split(None, 1) if len(parts) > 1 else []
            if not parts:
                return "error no command"
        name, rest = parts[0].lower(), (parts[1] if len(parts) > 1 else "")
        if name == "quit":
            self.quit = True
            return "ok"
        if name == "show":
            return json.dumps([s.show() for s in targets])
        now = self.clock()
        try:
            for s in targets:
                s.control(name, rest.split(), now, rest)
                if name in SCENE_COMMANDS:
                    self.record(dict(s.describe(), event="scene"))
        except UnknownCommand:
            return "error unknown command"
        except (ValueError, IndexError, OSError) as e:
            return "error %s" % e
        return "ok"

    def poll_control_file(self):
        for line in self.control.new_lines():
            self.command(line)

    # -- loop -------------------------------------------------------------------
    def handle_io(self, timeout):
        for key, mask in self.selector.select(timeout):
            if key.data is self.control_socket:
                self.control_socket.handle(key.fileobj)
                continue
            kind, s = key.data
            if kind == "listen":
                self.accept(s)
            elif kind == "conn":
                if mask & selectors.EVENT_READ and s.conn is key.fileobj:
                    self.read(s)
                if mask & selectors.EVENT_WRITE and s.conn is key.fileobj:
                    self.flush(s, self.clock())

    def run(self, child=None, deadline=None):
        while not self.quit:
            now = self.clock()
            if deadline is not None and now >= deadline:
                break
            if child is not None and child.poll() is not None:
                break
            self.poll_control_file()
            while self.timed and now - self.started >= self.timed[0][0]:
                self.command(self.timed.pop(0)[1])
            timeout = 0.02
            for s in self.scanners:
                self.flush(s, now)
                if s.conn is not None and s.out:
                    timeout = min(timeout, max(0.0, s.out[0].due - now))
            self.handle_io(timeout)

    def close(self):
        if self.closed:
            return
        self.closed = True
        for s in self.scanners:
            self.close_connection(s, "simulator end")
            if s.listener is not None:
                self.selector.unregister(s.listener)
                s.listener.close()
                s.listener = None
        self.control_socket.close()
        self.selector.close()
        if self.truth not in (None, sys.stdout):
            self.truth.close()


class HelpFormatter(argparse.RawDescriptionHelpFormatter):
    pass


def make_parser():
    p = argparse.ArgumentParser(
        description=__doc__, formatter_class=HelpFormatter,
        epilog="[per scanner]: one value, or two separated by a comma. Write a value that "
        "starts with '-' as --sector=-20:20.")
    p.add_argument("--scanners", type=int, choices=(1, 2), default=2,
                   help="how many scanners (default 2)")
    for name, _, default, text in PER_SCANNER:
        p.add_argument("--" + name.replace("_", "-"), dest=name, metavar="V",
                       help="%s [per scanner; default %s]" % (text, default or "none"))
    p.add_argument("--password", default=DEFAULT_PASSWORD,
                   help="access hash SetAccessMode must carry (any: accept every hash)")
    p.add_argument("--split-gap", type=float, default=10.0, metavar="MS",
                   help="pause between the TCP writes of a split reply, ms")
    p.add_argument("--uptime", type=float, default=600.0, metavar="SECONDS",
                   help="time since power-on of scanner 0 at the start (scanner 1: 37 s more)")
    p.add_argument("--seed", type=int, default=1, help="seed of the noise and the random cuts")
    p.add_argument("--on-scan", nargs=2, action="append", metavar=("N", "COMMAND"),
                   help="run COMMAND when scan poll N arrives (repeatable)")
    p.add_argument("--at", nargs=2, action="append", metavar=("SECONDS", "COMMAND"),
                   help="run COMMAND this many seconds after the start (repeatable)")
    p.add_argument("--truth", help="JSON-lines record of what was received and sent ('-': stdout)")
    p.add_argument("--truth-telegrams", action="store_true",
                   help="also record the text of every scan telegram")
    p.add_argument("--truth-brief", action="store_true",
                   help="leave the distance and remission lists out of the scan records "
                   "(about 10 KB less per scan, for long runs)")
    p.add_argument("--control-file", help="file whose appended lines are commands")
    p.add_argument("--control-socket", help="UNIX socket for commands")
    p.add_argument("--duration", type=float, help="end after this many seconds")
    p.add_argument("command", nargs=argparse.REMAINDER,
                   help="-- COMMAND ARGS: run COMMAND against the simulator")
    return p


def main(argv=None):
    args = make_parser().parse_args(argv)
    command = pty_device.child_command(args.command)
    sim = Simulator(args)
    handlers = {signal.SIGTERM: lambda *_: setattr(sim, "quit", True),
                signal.SIGUSR1: lambda *_: sim.command("silent"),
                signal.SIGUSR2: lambda *_: sim.command("talk")}
    previous = {number: signal.signal(number, h) for number, h in handlers.items()}
    try:
        scanners = " ".join("%s:%d" % (s.address, s.port) for s in sim.scanners)
        return pty_device.run_main(sim, args, command, {"SURVEY_SIM_SCANNERS": scanners})
    finally:
        for number, handler in previous.items():
            signal.signal(number, handler)


if __name__ == "__main__":
    sys.exit(main())
