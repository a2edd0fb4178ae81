"""One simulated SICK LMS100: its device state, the replies to CoLa A telegrams, the
scene it sees and the faults it can play. The simulator (sopas_sim.py) owns the
sockets and hands each scanner the telegrams of its connection.
"""

import datetime
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sopas_telegrams as cola  # noqa: E402
from sopas_scene import Scene, sector_points  # noqa: E402

SAMPLE_DIR = os.environ.get("SURVEY_SOPAS_DATA") or os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "shared", "data",
    "sopas")
REFUSAL = cola.ERR_CONDITION  # the answer to a refused output configuration (no "LMDscandata")
ENCODER_TICKS_PER_SCAN = 8  # the simulated vehicle's encoder advance between scans
ENCODER_SPEED = 0x3E8  # ticks per ms, as sent in the encoder block
DEFAULT_OVERSIZE = 13000


class UnknownCommand(Exception):
    pass


def decode_escapes(text):
    return text.encode("latin-1", "replace").decode("unicode_escape").encode("latin-1", "replace")


def utc_text(wall):
    stamp = datetime.datetime.fromtimestamp(wall, datetime.timezone.utc)
    return stamp.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (stamp.microsecond // 1000)


def parse_split(text):
    """None (off), "random" or a list of byte positions."""
    text = text.strip().lower()
    if text in ("", "off", "none", "0"):
        return None
    if text in ("on", "random"):
        return "random"
    return sorted({int(p) for p in text.split(":") if p})


def parse_status(text):
    """The two status fields from "B5" or "B5:B6", hexadecimal as on the wire."""
    hi, _, lo = text.partition(":")
    value = (int(hi, 16), int(lo, 16) if lo else 0)
    if not all(0 <= v <= 0xFF for v in value):
        raise ValueError("status bytes are 0..255")
    return value


def parse_sector(text):
    start, _, end = text.partition(":")
    return float(start), float(end)


def parse_slow(text):
    """(milliseconds, in the middle) from "MS" or "MS:mid"."""
    ms, _, where = text.partition(":")
    if where not in ("", "mid"):
        raise ValueError("MS or MS:mid")
    return float(ms), where == "mid"


def parse_refusal(text):
    """Which output configurations a scanner refuses: none, first (per connection) or all."""
    if text not in ("none", "first", "all"):
        raise ValueError("none|first|all")
    return text


def parse_ready(text):
    return -1 if text.strip().lower() == "never" else int(text)


def replay_bytes(path, raw):
    """The telegram of a sample file as a scanner would put it on the wire."""
    if not os.path.exists(path) and os.path.exists(os.path.join(SAMPLE_DIR, path)):
        path = os.path.join(SAMPLE_DIR, path)
    with open(path, "rb") as f:
        data = f.read()
    if not raw:
        data = data.rstrip(b"\r\n")
        if not data.startswith(cola.STX):
            data = cola.STX + data
        if not data.endswith(cola.ETX):
            data += cola.ETX
    return path, data


class Scanner:
    """One simulated LMS100: device state, scene and faults; the Simulator does the I/O."""

    def __init__(self, index, opts, sim):
        self.index = index
        self.sim = sim
        self.address = opts["address"]
        self.port = opts["port"]
        self.refuse = opts["refuse_config"]
        self.ready_after = opts["ready_after"]
        # After the first state 7 of a start, this many status polls answer 5.
        self.relapse = opts.get("relapse", 0)
        self.relapse_left = None
        self.step = opts["step"]
        self.start_angle = opts["start_angle"]
        self.scene = Scene(opts["points"] or int(round(270.0 / self.step)) + 1, self.step,
                           opts["rotation"], opts["base"], opts["ceiling"], opts["sector"],
                           opts["obstacle_distance"], opts["noise"],
                           random.Random(sim.args.seed * 1000 + index))
        self.split = opts["split"]
        self.slow_ms, self.slow_mid = opts["slow"]
        self.drop_after = opts["drop_after"]
        self.replay = None
        if opts["replay"]:
            try:
                self.replay = replay_bytes(opts["replay"], False)
            except OSError as e:
                raise SystemExit("scanner %d: --replay: %s" % (index, e))
        self.on_scan = {}
        self.polls = 0
        self.silent_until = None
        self.obstacle_on, self.obstacle_left = False, 0
        # On every other scan, starting with the next one: each scan differs from the last.
        self.obstacle_blink, self.blink_on = False, False
        self.obstacle_mm = opts["obstacle_distance"]
        self.status_value, self.status_left = (0, 0), 0
        self.oversize = 0
        self.announce, self.announce_left = None, 0
        self.listener = None
        self.conn = None
        self.peer = None
        self.writing = False  # the connection waits for room to write
        self.out = []
        self.deframer = cola.Deframer()
        self.power_on(sim.clock() - sim.args.uptime - 37 * index)

    # -- device state -----------------------------------------------------------
    def power_on(self, boot):
        self.powered = True
        self.boot = boot
        self.measuring = False
        self.countdown = 0
        self.config = cola.OutputConfig()
        self.telegram_counter = 0
        self.access = 0
        self.config_writes = 0

    @property
    def points(self):
        return self.scene.points

    @property
    def scan_hz(self):
        return 25 if self.step < 0.5 else 50

    def state(self):
        if not self.measuring:
            return cola.STATE_READY
        return cola.STATE_MEASURING if self.countdown == 0 else cola.STATE_PREPARING

    def new_connection(self):
        self.access = 0
        self.config_writes = 0
        self.deframer = cola.Deframer()

    def respond(self, text, now, wall):
        """(reply text or bytes, scan record or None) for one telegram received."""
        tok = cola.tokens_of(text)
        kind = tok[0] if tok else ""
        name = tok[1] if len(tok) > 1 else ""
        if kind == "sMN":
            if name == "SetAccessMode":
                ok = len(tok) == 4 and tok[2].isdigit() and int(tok[2]) in cola.ACCESS_LEVELS and \
                    self.sim.password_ok(tok[3])
                if ok:
                    self.access = int(tok[2])
                return (cola.ACCESS_GRANTED if ok else cola.ACCESS_DENIED), None
            if name == "Run":
                return cola.RUN_DONE, None
            if name == "LMCstartmeas":
                if not self.measuring:
                    self.measuring = True
                    self.countdown = self.ready_after
                    self.relapse_left = None
                return cola.START_MEAS_DONE, None
            if name == "LMCstopmeas":
                self.measuring = False
                return cola.STOP_MEAS_DONE, None
            return cola.ERR_UNKNOWN_METHOD, None
        if kind == "sWN":
            if name != "LMDscandatacfg":
                return cola.ERR_UNKNOWN_VARIABLE, None
            self.config_writes += 1
            if not self.access:
                return cola.ERR_WRITE_DENIED, None
            if self.refuse == "all" or (self.refuse == "first" and self.config_writes == 1):
                return REFUSAL, None
            config = cola.parse_scandatacfg(tok[2:])
            if config is None:
                return cola.ERR_INVALID_DATA, None
            self.config = config
            return cola.CONFIG_ACCEPTED, None
        if kind == "sRN":
            if name == "STlms":
                state = self.state()
                if state == cola.STATE_PREPARING and self.countdown > 0:
                    self.countdown -= 1
                if state == cola.STATE_MEASURING:
                    if self.relapse_left is None:
                        self.relapse_left = self.relapse
                    elif self.relapse_left > 0:
                        self.relapse_left -= 1
                        state = cola.STATE_PREPARING
                return cola.stlms_reply(state, datetime.datetime.fromtimestamp(
                    wall, datetime.timezone.utc)), None
            if name == "LMDscandata":
                if self.state() != cola.STATE_MEASURING:
                    return cola.ERR_CONDITION, None
                return self.scan(now, wall)
            return cola.ERR_UNKNOWN_VARIABLE, None
        return cola.ERR_UNKNOWN_COMMAND, None

    def scan(self, now, wall):
        record = {"event": "scan", "scanner": self.index, "seq": self.polls,
                  "t_request": self.sim.since_start(now), "utc": utc_text(wall)}
        if self.replay is not None:
            return self.replayed(record)
        if self.obstacle_blink:
            self.blink_on = not self.blink_on
        obstacle = self.obstacle_on or self.obstacle_left > 0 or (
            self.obstacle_blink and self.blink_on)
        self.obstacle_left = max(self.obstacle_left - 1, 0)
        status = self.status_value
        if self.status_left > 0:
            self.status_left -= 1
            if self.status_left == 0:
                self.status_value = (0, 0)
        bits = self.config.remission_bits
        distances, remissions = self.scene.profile(self.obstacle_mm if obstacle else None, bits)
        self.telegram_counter += 1
        elapsed = max(now - self.boot, 0.0)
        made = int(elapsed * self.scan_hz)
        tel = cola.ScanTelegram(
            status=status, serial=cola.DEFAULT_SERIAL + self.index,
            telegram_counter=self.telegram_counter, scan_counter=made,
            time_since_start_us=int(made * 1e6 / self.scan_hz), transmit_us=int(elapsed * 1e6),
            scan_frequency=self.scan_hz * 100,
            encoders=[(made * ENCODER_TICKS_PER_SCAN, ENCODER_SPEED)] * self.config.encoders,
            start_angle=int(round(self.start_angle * 10000)),
            angle_step=int(round(self.step * 10000)), distances=distances,
            remissions=remissions if bits else None, remission_bits=bits or 16,
            device_name="LMS100" if self.config.name else None,
            comment="Sim" if self.config.comment else None)
        if self.config.time:
            u = datetime.datetime.fromtimestamp(wall, datetime.timezone.utc)
            tel.time = (u.year, u.month, u.day, u.hour, u.minute, u.second, u.microsecond)
        if self.announce_left > 0:
            tel.announce = self.announce
            record["announced"] = self.announce
            self.announce_left -= 1
        text = cola.build_scan(tel)
        if self.oversize:
            # Padding in the comment block: the values stay where a client looks for them.
            pad = self.oversize - len(text) - 10
            while len(text) + 2 < self.oversize:
                tel.comment = "X" * max(pad, 1)
                text = cola.build_scan(tel)
                pad += self.oversize - len(text) - 2
            record["oversize"] = True
            self.oversize = 0
        record.update({
            "layout": self.config.layout, "encoders": self.config.encoders,
            "remission_bits": bits, "status": list(status), "good": status == (0, 0),
            "points": len(distances), "remission_points": len(remissions) if bits else 0,
            "distances": distances, "remissions": remissions if bits else [],
            "obstacle": obstacle, "obstacle_mm": self.obstacle_mm if obstacle else None,
            "telegram_counter": tel.telegram_counter & 0xFFFF, "scan_counter": made & 0xFFFF,
            "time_since_start_us": tel.time_since_start_us & 0xFFFFFFFF,
            "transmit_us": tel.transmit_us & 0xFFFFFFFF})
        return text, record

    def replayed(self, record):
        path, data = self.replay
        record.update({"source": os.path.basename(path), "obstacle": False})
        try:
            d = cola.decode_scan(data.decode("latin-1"))
            dist = d["channels"].get("DIST1", {})
            rssi = d["channels"].get("RSSI1", {})
            record.update({
                "status": d["status"], "good": d["status"] == [0, 0],
                "dist1_field": dist.get("field"), "points": dist.get("count", 0),
                "remission_points": rssi.get("count", 0), "remission_bits": rssi.get("bits", 0),
                "distances": dist.get("values", []), "remissions": rssi.get("values", []),
                "telegram_counter": d["telegram_counter"], "scan_counter": d["scan_counter"],
                "complete": d["complete"]})
            enc, bits = len(d["encoders"]), rssi.get("bits", 0)
            record["layout"] = 1 if (enc, bits) == (0, 16) else 2 if (enc, bits) == (1, 8) else 0
        except (ValueError, IndexError) as e:
            record["decode_error"] = str(e)
        return data, record

    # -- control commands --------------------------------------------------------
    def control(self, name, args, now, rest=""):
        """Applies one command to this scanner; raises ValueError on bad arguments."""
        arg = args[0] if args else ""
        if name == "obstacle":
            if arg == "off":
                self.obstacle_on, self.obstacle_left, self.obstacle_blink = False, 0, False
            elif arg in ("on", "blink") or arg.isdigit():
                if len(args) > 1:
                    self.obstacle_mm = int(args[1])
                if arg == "on":
                    self.obstacle_on = True
                elif arg == "blink":
                    self.obstacle_blink, self.blink_on = True, False
                else:
                    self.obstacle_left = int(arg)
            else:
                raise ValueError("obstacle on [MM] | blink [MM] | off | K [MM]")
        elif name == "status":
            value = parse_status(arg or "0")
            count = args[1] if len(args) > 1 else "1"
            left = -1 if count == "on" else int(count)
            if left == 0 or left < -1:
                raise ValueError("status B5[:B6] [K|on], K >= 1")
            self.status_value, self.status_left = value, (0 if value == (0, 0) else left)
        elif name == "drop":
            self.sim.close_connection(self, "drop", reset=(arg == "reset"))
        elif name == "silent":
            self.silent_until = now + float(arg) if arg else float("inf")
        elif name == "talk":
            self.silent_until = None
        elif name == "slow":
            self.slow_ms, self.slow_mid = float(arg or 0), "mid" in args[1:]
        elif name == "split":
            self.split = parse_split(arg or "on")
        elif name == "oversize":
            self.oversize = int(arg) if arg else DEFAULT_OVERSIZE
        elif name == "points":
            if int(arg) < 1:
                raise ValueError("points N, N >= 1")
            self.scene.points = int(arg)
        elif name == "announce":
            self.announce = int(arg)
            self.announce_left = int(args[1]) if len(args) > 1 else 1
        elif name == "replay":
            self.replay = replay_bytes(arg, "raw" in args[1:])
        elif name == "scene":
            self.replay = None
        elif name in ("base", "ceiling", "noise", "rotation"):
            setattr(self.scene, {"base": "base_mm", "ceiling": "ceiling_mm",
                                 "noise": "noise_mm"}.get(name, name), float(arg))
        elif name == "sector":
            self.scene.sector = parse_sector(arg)
        elif name == "ready-after":
            self.ready_after = parse_ready(arg)
        elif name == "relapse":
            self.relapse = int(arg)
        elif name == "refuse-config":
            self.refuse = parse_refusal(arg)
        elif name == "off":
            self.sim.power(self, False)
            if arg:
                # Switched off for a while: it comes back on by itself, stopped,
                # so that a client must run the start sequence again.
                self.sim.schedule(float(arg), "%d on" % self.index)
        elif name == "on":
            self.sim.power(self, True)
        elif name == "raw":
            self.sim.enqueue(self, decode_escapes(rest), {"event": "reply", "scanner": self.index,
                                                          "text": rest, "raw": True}, now)
        else:
            raise UnknownCommand(name)
        self.scene.changed()

    def describe(self):
        first, count = sector_points(self.scene.rotation, self.step, self.scene.sector[0],
                                     self.scene.sector[1], self.points)
        return {"scanner": self.index, "address": self.address, "port": self.port,
                "points": self.points, "step": self.step, "start_angle": self.start_angle,
                "rotation": self.scene.rotation, "base": self.scene.base_mm,
                "ceiling": self.scene.ceiling_mm, "sector": list(self.scene.sector),
                "sector_points": [first, count], "refuse_config": self.refuse,
                "ready_after": self.ready_after}

    def show(self):
        info = self.describe()
        obstacle = self.obstacle_on or self.obstacle_left > 0 or self.obstacle_blink
        info.update({"powered": self.powered, "connected": self.conn is not None,
                     "state": self.state(), "layout": self.config.layout, "polls": self.polls,
                     "silent": self.silent_until is not None, "obstacle": obstacle,
                     "replay": self.replay[0] if self.replay else None})
        return info

