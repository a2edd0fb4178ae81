#!/usr/bin/env python3
"""Serial odometer converter simulator on a pseudo-terminal.

The converter samples a wheel odometer's pulse signal and sends the voltage
as text lines such as "voltage=4.800\\r\\n", encoded UTF-16LE (two bytes a
character), --rate lines a second. The signal is a square wave: one pulse per
--path-mm of road at --speed km/h, between --low and --high volts. Like a
converter cabled at a fixed rate, it talks only while the program on the
other side has set the port to --baud (read back through termios; a Linux pty
keeps 8 data bits and no parity whatever the program sets, so the frame
format cannot be checked there).

Each line goes out in pieces (--split): "random" cuts lines at random byte
offsets, mostly odd ones, so a read can end inside a UTF-16 unit; "odd" cuts
every line once at an odd offset; "none" writes whole lines. The pieces of a
line are --split-gap-ms apart, longer than a 5 ms poll, so the program's reads
really see them apart.

Everything sent is recorded as JSON lines (--truth, "-" for standard output):
  {"event": "ready", "slave": ..., "link": ..., "baud": 9600}
  {"event": "port", "speed": 9600, "framing": "8N1", "talking": true}
  {"event": "line", "seq": 7, "text": "voltage=4.800\\r\\n", "value": 4.8, "high": true,
   "chunks": [13, 17], "edges": 2, "pulses": 2, "distance_m": 1.05}
  {"event": "junk", "text": ...}, {"event": "silent"}, {"event": "talk"}, ...
"value" is what the program reads from the line (0.0 when the number cannot
be read); "edges" counts the low-to-high steps of the sent signal so far;
"pulses" is what a correct serial pulse detector with --threshold volts
counts from the sent values (a step up of more than the threshold after a
step down of more than the threshold; its counter starts at 0, so a program
whose counter starts at 1 shows 1 + pulses).

Commands, one per line, through --control-file (appended lines are read) or
--control-socket (UNIX stream socket, one reply line per command):
  silent [SECONDS]   fall silent, for a period or until "talk"
  talk               talk again
  speed KMH          driving speed
  rate HZ            lines a second
  hold VOLTS         send this voltage instead of the wave; "release" ends it
  junk N             send N lines without the key now
  bad N              the next N lines carry a number that cannot be read
  split none|random|odd
  encoding utf-16le|ascii
  raw TEXT           send TEXT now in the current encoding (\\r, \\n, \\xHH escapes)
  rawbytes TEXT      send the bytes of TEXT as they are (escapes as above)
  status             reply with the state as JSON
  quit               end the simulator

--wine-com N makes COM N of the Wine prefix named by WINEPREFIX the pty; with
"-- COMMAND ARGS" the simulator runs COMMAND once the pty is ready and exits
with its exit code (pty_device.py).
"""

import argparse
import json
import math
import os
import random
import re
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pty_device  # noqa: E402

KEY = "voltage="
NUMBER = re.compile(r"[ \t]*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)")


def f32(x):
    """x as the program's single-precision float."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


def line_value(text):
    """The value a program reads from a received line: the number after the
    key (0.0 when none can be read), or None for a line without the key."""
    at = text.find(KEY)
    if at < 0:
        return None
    m = NUMBER.match(text, at + len(KEY))
    return float(m.group(1)) if m else 0.0


class PulseDetector:
    """Pulse counting on received values: a pulse is a step up of more than
    the threshold that follows a step down of more than the threshold. Small
    steps never move the reference."""

    def __init__(self, threshold):
        self.threshold = f32(threshold)
        self.last = f32(30000.0)
        self.rising = False
        self.pulses = 0

    def feed(self, value):
        v = f32(value)
        d = f32(v - self.last)
        if abs(d) <= self.threshold:
            return
        if d < 0:
            self.rising = False
        elif not self.rising:
            self.pulses += 1
            self.rising = True
        self.last = v


def split_points(size, mode, rng):
    """Byte offsets at which a line of `size` bytes is cut."""
    if mode == "none" or size < 2:
        return []
    if mode == "odd":
        half = size // 2
        return [half if half % 2 else half - 1]
    pieces = rng.choice((1, 2, 2, 3))
    cuts = set()
    odd = [i for i in range(1, size) if i % 2]
    for _ in range(pieces - 1):
        pool = odd if rng.random() < 0.7 else list(range(1, size))
        cuts.add(rng.choice(pool))
    return sorted(cuts)


class Converter(pty_device.PtyDevice):
    def __init__(self, args):
        super().__init__(link=args.link, wine_com=args.wine_com, truth=args.truth,
                         control_file=args.control_file, control_socket=args.control_socket)
        self.args = args
        self.rng = random.Random(args.seed)
        self.baud = args.baud
        self.rate = args.rate
        self.speed_mps = args.speed / 3.6
        self.path_m = args.path_mm / 1000.0
        self.hold = args.hold
        self.split = args.split
        self.encoding = args.encoding
        self.bad_next = 0
        self.position_m = 0.0  # road covered, while talking or not
        self.seq = 0
        self.lines_due = 0
        self.next_line = self.started
        self.queue = []  # [due, bytes] pieces in sending order
        self.last_high = None
        self.edges = 0
        self.detector = PulseDetector(args.threshold)
        self.silent_until = math.inf if args.start_silent else None
        self.last_port = None
        self.talking = False
        per_second = self.rate * len(self.format_line(args.high).encode("utf-16-le"))
        if per_second * 10 > self.baud:
            # 8N1: ten bit times a byte. A pty is not paced, a real line is.
            sys.stderr.write("odometer_sim: %d bytes/s exceed what %d bit/s carries\n"
                             % (per_second, self.baud))
        self.record({"event": "ready", "slave": self.slave_name, "link": self.link,
                     "baud": self.baud, "rate": self.rate, "threshold": args.threshold})

    # -- the signal -----------------------------------------------------------
    def format_line(self, volts):
        eol = "\r\n" if self.args.eol == "crlf" else "\n"
        return "%s%.*f%s" % (KEY, self.args.decimals, volts, eol)

    def signal(self):
        """(volts, high) at the current position."""
        if self.hold is not None:
            return self.hold, self.hold > (self.args.low + self.args.high) / 2.0
        phase = (self.position_m / self.path_m + self.args.phase) % 1.0
        high = phase < self.args.duty
        volts = self.args.high if high else self.args.low
        if self.args.noise:
            volts += self.rng.uniform(-self.args.noise, self.args.noise)
        return volts, high

    def encode(self, text):
        return text.encode("utf-16-le" if self.encoding == "utf-16le" else "latin-1", "replace")

    # -- sending --------------------------------------------------------------
    def check_port(self, now):
        if self.silent_until is not None and now >= self.silent_until:
            self.silent_until = None
            self.record({"event": "talk"})
        speed, framing = self.port_speed(), self.port_framing()
        talking = speed == self.baud and self.silent_until is None
        if (speed, framing) != self.last_port or talking != self.talking:
            self.record({"event": "port", "speed": speed, "framing": framing,
                         "talking": talking})
            self.last_port, self.talking = (speed, framing), talking
        return talking

    def enqueue(self, data, due):
        """Queues `data` in pieces; returns the piece sizes."""
        cuts = split_points(len(data), self.split, self.rng)
        gap = self.args.split_gap_ms / 1000.0
        sizes = []
        last = self.queue[-1][0] if self.queue else due
        start = 0
        for i, end in enumerate(cuts + [len(data)]):
            piece = data[start:end]
            start = end
            last = max(last, due + i * gap)
            self.queue.append([last, piece])
            sizes.append(len(piece))
        return sizes

    def send_line(self, due):
        volts, high = self.signal()
        text = self.format_line(volts)
        if self.bad_next > 0:
            self.bad_next -= 1
            text = text.replace(KEY, KEY + "x", 1)
        elif self.args.bad_every and (self.seq + 1) % self.args.bad_every == 0:
            text = text.replace(KEY, KEY + "x", 1)
        if self.last_high is False and high:
            self.edges += 1
        self.last_high = high
        value = line_value(text)
        self.detector.feed(value)
        self.seq += 1
        chunks = self.enqueue(self.encode(text), due)
        self.record({"event": "line", "seq": self.seq, "text": text, "value": value,
                     "high": high, "chunks": chunks, "edges": self.edges,
                     "pulses": self.detector.pulses, "distance_m": round(self.position_m, 6)})
        if self.args.junk_every and self.seq % self.args.junk_every == 0:
            self.send_junk(1, due)

    def send_junk(self, count, due):
        for _ in range(count):
            text = self.rng.choice(("status=ok", "odometer converter v2.1", "err=0",
                                    "voltag=1.0")) + ("\r\n" if self.args.eol == "crlf" else "\n")
            self.enqueue(self.encode(text), due)
            self.record({"event": "junk", "text": text})

    def flush_queue(self, now):
        while self.queue and self.queue[0][0] <= now:
            due, piece = self.queue[0]
            try:
                written = self.write(piece)
            except OSError as e:
                self.record({"event": "write_error", "error": str(e)})
                self.queue.clear()
                return
            if written < len(piece):
                self.queue[0][1] = piece[written:]
                return
            self.queue.pop(0)

    def tick(self, now):
        step = 1.0 / self.rate
        while now >= self.next_line:
            talking = self.check_port(now)
            if self.lines_due > 0:
                self.position_m += self.speed_mps * step
            if talking:
                self.send_line(self.next_line)
            self.lines_due += 1
            self.next_line += step
            if self.next_line < now - 1.0:  # stalled (suspended): do not burst
                self.next_line = now + step
        self.flush_queue(now)

    def next_due(self):
        return min(self.next_line, self.queue[0][0]) if self.queue else self.next_line

    # -- commands -------------------------------------------------------------
    def command(self, name, arg):
        now = time.monotonic()
        if name == "silent":
            self.silent_until = now + float(arg) if arg else math.inf
            self.record({"event": "silent", "seconds": float(arg) if arg else None})
        elif name == "talk":
            self.silent_until = None
            self.record({"event": "talk"})
        elif name == "speed":
            self.speed_mps = float(arg) / 3.6
        elif name == "rate":
            self.rate = max(0.5, min(200.0, float(arg)))
        elif name == "hold":
            self.hold = float(arg)
        elif name == "release":
            self.hold = None
        elif name == "junk":
            self.send_junk(int(arg or 1), now)
        elif name == "bad":
            self.bad_next += int(arg or 1)
        elif name == "split":
            if arg.strip() not in ("none", "random", "odd"):
                return "error split none|random|odd"
            self.split = arg.strip()
        elif name == "encoding":
            if arg.strip() not in ("utf-16le", "ascii"):
                return "error encoding utf-16le|ascii"
            self.encoding = arg.strip()
        elif name == "raw":
            data = self.encode(pty_device.decode_escapes(arg).decode("latin-1"))
            self.record({"event": "raw", "chunks": self.enqueue(data, now)})
        elif name == "rawbytes":
            data = pty_device.decode_escapes(arg)
            self.record({"event": "raw", "chunks": self.enqueue(data, now)})
        elif name == "status":
            return json.dumps({"baud": self.baud, "port_speed": self.port_speed(),
                               "framing": self.port_framing(), "talking": self.talking,
                               "silent": self.silent_until is not None, "rate": self.rate,
                               "speed_kmh": self.speed_mps * 3.6, "lines": self.seq,
                               "edges": self.edges, "pulses": self.detector.pulses,
                               "slave": self.slave_name})
        else:
            return "error unknown command"
        return "ok"


def make_parser():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    pty_device.add_common_arguments(p)
    p.add_argument("--baud", type=int, default=9600, help="the converter's speed in bit/s")
    p.add_argument("--rate", type=float, default=20.0, help="lines a second")
    p.add_argument("--speed", type=float, default=3.6, help="driving speed in km/h")
    p.add_argument("--path-mm", type=float, default=200.0, help="road per odometer pulse, mm")
    p.add_argument("--low", type=float, default=0.2, help="signal low level, V")
    p.add_argument("--high", type=float, default=4.8, help="signal high level, V")
    p.add_argument("--duty", type=float, default=0.5, help="high fraction of a pulse period")
    p.add_argument("--phase", type=float, default=0.0, help="fraction of a period to start at")
    p.add_argument("--noise", type=float, default=0.0, help="peak noise added to a value, V")
    p.add_argument("--hold", type=float, help="send this voltage instead of the wave")
    p.add_argument("--decimals", type=int, default=3, help="decimals of the voltage")
    p.add_argument("--eol", choices=("crlf", "lf"), default="crlf", help="line end")
    p.add_argument("--encoding", choices=("utf-16le", "ascii"), default="utf-16le",
                   help="text encoding on the line (ascii: an 8-bit converter)")
    p.add_argument("--split", choices=("none", "random", "odd"), default="random",
                   help="how lines are cut into separate writes")
    p.add_argument("--split-gap-ms", type=float, default=12.0,
                   help="time between the pieces of a line, ms")
    p.add_argument("--junk-every", type=int, default=0, help="a line without the key every N")
    p.add_argument("--bad-every", type=int, default=0, help="an unreadable number every N")
    p.add_argument("--threshold", type=float, default=1.0,
                   help="threshold of the truth's reference pulse detector, V")
    p.add_argument("--start-silent", action="store_true")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("command", nargs=argparse.REMAINDER,
                   help="-- COMMAND ARGS: run COMMAND against the simulator")
    return p


def main(argv=None):
    args = make_parser().parse_args(argv)
    if args.rate <= 0 or args.path_mm <= 0 or not 0 < args.duty < 1:
        raise SystemExit("odometer_sim: --rate and --path-mm must be positive, --duty within (0, 1)")
    return pty_device.run_main(Converter(args), args, pty_device.child_command(args.command))


if __name__ == "__main__":
    sys.exit(main())
