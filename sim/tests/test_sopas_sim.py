"""The LMS100 scanner simulator: telegram grammar, scene, device model, and the
simulator on loopback sockets driven by a small CoLa A client."""

import datetime
import json
import os
import random
import socket
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SIM_DIR = os.path.dirname(HERE)
sys.path.insert(0, SIM_DIR)

import sopas_scene as scene  # noqa: E402
import sopas_sim  # noqa: E402
import sopas_telegrams as cola  # noqa: E402
from running_simulator import SimulatorTest  # noqa: E402

SAMPLES = os.path.join(os.environ.get("SURVEY_SOURCE_DIR", os.path.dirname(SIM_DIR)), "..",
                       "shared", "data", "sopas")

# What the scanner service sends, with its exact spaces.
ACCESS = "sMN SetAccessMode 03 5C0B19E2"
CONFIG_1 = "sWN LMDscandatacfg 01 00 1 1 0 00 00 0 0 0 0 1"
CONFIG_2 = "sWN LMDscandatacfg 0   0 1 0 0  1  0 0 0 0 0 +1"
POLL = "sRN LMDscandata"
WAIT = 5.0  # bound of every wait in these tests, seconds


def client_values(reply, layout):
    """(distances, remissions) as the service reads a scan reply: fixed field positions
    per layout, None when a header check fails."""
    tok = [t for t in reply.split(" ") if t]
    if not tok[0][1:].startswith("sRA") or tok[1] != "LMDscandata" or tok[5] != "0":
        return None
    name_at, count_at = (20, 25) if layout == 1 else (22, 27)
    if tok[name_at] != "DIST1":
        return None
    n = int(tok[count_at], 16)
    distances = [int(v, 16) for v in tok[count_at + 1:count_at + 1 + n]]
    after = tok[count_at + 1 + n:]
    rssi_at, rcount_at = (1, 6) if layout == 1 else (2, 7)
    if after[rssi_at - 1] != "RSSI1":
        return distances, []
    r = int(after[rcount_at - 1], 16)
    return distances, [int(v, 16) for v in after[rcount_at:rcount_at + r]]


def sim_args(*extra):
    return sopas_sim.make_parser().parse_args(["--port", "0"] + list(extra))


class FakeClock:
    def __init__(self):
        self.now = 1000.0

    def __call__(self):
        return self.now


class TelegramTest(unittest.TestCase):
    def test_deframer_cuts_telegrams_out_of_any_pieces(self):
        d = cola.Deframer(limit=64)
        self.assertEqual(d.feed(b"xy\x02sRN ST"), [("junk", b"xy")])
        self.assertEqual(d.feed(b"lms\x03\x02sMN Run\x03\x02sMN"),
                         [("telegram", "sRN STlms"), ("telegram", "sMN Run")])
        # A frame that never ends is junk once the next one starts, or past the limit.
        self.assertEqual(d.feed(b"\x02sRN LMDscandata\x03"),
                         [("junk", b"\x02sMN"), ("telegram", "sRN LMDscandata")])
        self.assertEqual(d.feed(b"\x02" + b"A" * 80), [("junk", b"\x02" + b"A" * 80)])

    def test_the_two_client_configurations(self):
        first = cola.parse_scandatacfg(cola.tokens_of(CONFIG_1)[2:])
        second = cola.parse_scandatacfg(cola.tokens_of(CONFIG_2)[2:])
        self.assertEqual((first.layout, first.encoders, first.remission_bits), (1, 0, 16))
        self.assertEqual((second.layout, second.encoders, second.remission_bits), (2, 1, 8))
        self.assertEqual(second.interval, 1)
        for bad in ("01 00 1 1 0 00 00 0 0 0 0", "01 00 2 1 0 00 00 0 0 0 0 1",
                    "01 00 1 1 0 00 00 0 0 0 0 0", "01 00 1 1 0 00 00 0 0 0 0 Z"):
            self.assertIsNone(cola.parse_scandatacfg(bad.split()), bad)

    def test_scan_telegram_grammar_round_trip(self):
        t = cola.ScanTelegram(status=(0, 1), telegram_counter=0x1FFFF, scan_counter=7,
                              encoders=[(0x1D518, 0x3E8)], start_angle=-450000, angle_step=2500,
                              distances=[16, 1500, 0x1FFF], remissions=[1, 2, 255],
                              remission_bits=8, device_name="LMS100", comment="a b",
                              time=(2024, 2, 29, 23, 59, 59, 999999))
        d = cola.decode_scan(cola.build_scan(t))
        self.assertEqual(d["status"], [0, 1])
        self.assertEqual(d["telegram_counter"], 0xFFFF)  # 16-bit counter
        self.assertEqual(d["encoders"], [(0x1D518, 0x3E8)])
        self.assertEqual(d["channels"]["DIST1"]["values"], [16, 1500, 0x1FFF])
        self.assertEqual(d["channels"]["DIST1"]["start"], -450000)
        self.assertEqual(d["channels"]["DIST1"]["field"], 22)
        self.assertEqual(d["channels"]["RSSI1"]["bits"], 8)
        self.assertTrue(d["complete"])
        # Position, name, comment (its blank splits it), time, event.
        self.assertEqual(d["trailer"][:6], ["0", "1", "6", "LMS100", "1", "3"])
        text = cola.build_scan(t)
        cut = cola.decode_scan(text[:text.index(" 1FFF ") + 5])  # ends after the distances
        self.assertEqual((cut["complete"], cut["channels"]["DIST1"]["values"][-1]), (False, 0x1FFF))
        t.announce = 5  # more values announced than sent: the grammar no longer holds
        with self.assertRaises(ValueError):
            cola.decode_scan(cola.build_scan(t))

    def test_state_is_the_third_field(self):
        text = cola.stlms_reply(7, datetime.datetime(2024, 1, 2, 3, 4, 5))
        self.assertEqual(text, "sRA STlms 7 0 8 03:04:05 A 02.01.2024 0 0 0")
        self.assertEqual(cola.tokens_of("\x02" + text + "\x03")[2], "7")


class SceneTest(unittest.TestCase):
    def test_road_below_and_ceiling_above(self):
        # Rotation 0, 0.5 deg: point 540 points straight down, point 180 straight up.
        s = scene.Scene(541, 0.5, 0.0, 1500, ceiling_mm=4000)
        d, r = s.profile(bits=8)
        self.assertEqual(d[540], 1500)
        self.assertEqual(d[180], 4000)
        self.assertEqual(d[420], round(1500 / 0.5))  # 30 deg below the horizon
        self.assertEqual(d[360], 0)  # horizontal: no echo within 20 m
        self.assertTrue(0 < r[180] < r[540] <= 255)

    def test_sector_points_as_the_service_reads_them(self):
        self.assertEqual(scene.sector_points(0, 0.25, -10, 10, 1081), (320, 80))
        self.assertEqual(scene.sector_points(45, 0.5, 30, 50, 541), (170, 40))
        self.assertEqual(scene.sector_points(0, 0.25, 10, 10.05, 1081), (0, 0))
        self.assertEqual(scene.sector_points(-100, 0.5, 0, 20, 541), (0, 0))  # before point 0
        self.assertEqual(scene.sector_points(-75, 0.5, 0, 20, 541), (0, 30))  # clipped

    def test_obstacle_fills_the_sector_and_noise_is_seeded(self):
        s = scene.Scene(1081, 0.25, 0.0, 1500, sector=(-10, 10), obstacle_mm=2000)
        d, _ = s.profile(obstacle_mm=2000)
        self.assertEqual([i for i, v in enumerate(d) if v == 2000], list(range(320, 400)))
        a = scene.Scene(1081, 0.25, 0.0, 1500, noise_mm=5, rng=random.Random(3)).profile()[0]
        b = scene.Scene(1081, 0.25, 0.0, 1500, noise_mm=5, rng=random.Random(3)).profile()[0]
        clean = scene.Scene(1081, 0.25, 0.0, 1500).profile()[0]
        self.assertEqual(a, b)
        self.assertNotEqual(a, clean)
        self.assertTrue(all(abs(x - y) <= 5 for x, y in zip(a, clean)))
        self.assertTrue(all(x == 0 for x, y in zip(a, clean) if y == 0))


class DeviceModelTest(unittest.TestCase):
    """The scanner's replies on an injected clock (no client connection)."""

    def setUp(self):
        self.clock = FakeClock()
        self.sim = sopas_sim.Simulator(sim_args("--scanners", "1", "--ready-after", "2",
                                                "--refuse-config", "first", "--uptime", "10"),
                                       clock=self.clock)
        self.addCleanup(self.sim.close)
        self.s = self.sim.scanners[0]

    def ask(self, text):
        reply, record = self.s.respond(text, self.clock(), 1.7e9)
        return reply if record is None else record

    def start(self):
        self.s.new_connection()
        self.ask(ACCESS)
        self.ask(CONFIG_1)
        self.ask(CONFIG_2)
        self.ask("sMN LMCstartmeas")

    def test_login_configuration_and_readiness(self):
        self.assertEqual(self.ask(CONFIG_1), "sFA A")  # not logged in
        self.assertEqual(self.ask("sMN SetAccessMode 03 12345678"), "sAN SetAccessMode 0")
        self.assertEqual(self.ask(ACCESS), "sAN SetAccessMode 1")
        self.s.new_connection()  # refusal counts per connection
        self.ask(ACCESS)
        self.assertEqual(self.ask(CONFIG_1), "sFA 4")
        self.assertEqual(self.ask(CONFIG_2), "sWA LMDscandatacfg")
        self.assertEqual(self.ask(POLL), "sFA 4")  # not measuring
        self.assertEqual(self.ask("sRN STlms").split()[2], "6")
        self.assertEqual(self.ask("sMN LMCstartmeas"), "sAN LMCstartmeas 0")
        states = [self.ask("sRN STlms").split()[2] for _ in range(4)]
        self.assertEqual(states, ["5", "5", "7", "7"])
        self.assertEqual(self.ask(POLL)["layout"], 2)
        self.assertEqual(self.ask("sMN LMCstopmeas"), "sAN LMCstopmeas 0")
        self.assertEqual(self.ask("sRN STlms").split()[2], "6")
        self.s.control("ready-after", ["never"], self.clock())
        self.ask("sMN LMCstartmeas")
        self.assertEqual({self.ask("sRN STlms").split()[2] for _ in range(30)}, {"5"})
        self.assertEqual(self.ask("sXX Nonsense"), "sFA C")
        self.assertEqual(self.ask("sRN Nonsense"), "sFA 3")
        # A relapse: after the first 7 of a start, 5 again for that many polls.
        self.s.control("ready-after", ["1"], self.clock())
        self.s.relapse = 2
        self.ask("sMN LMCstopmeas")
        self.ask("sMN LMCstartmeas")
        states = [self.ask("sRN STlms").split()[2] for _ in range(5)]
        self.assertEqual(states, ["5", "7", "5", "5", "7"])

    def test_counters_and_time_stamps_advance_like_a_scanner(self):
        self.start()
        for _ in range(2):
            self.ask("sRN STlms")
        first = self.ask(POLL)
        self.clock.now += 1.0
        second = self.ask(POLL)
        self.assertEqual(second["telegram_counter"] - first["telegram_counter"], 1)
        self.assertEqual(second["scan_counter"] - first["scan_counter"], 25)  # 25 Hz at 0.25 deg
        self.assertEqual(second["transmit_us"] - first["transmit_us"], 1000000)
        self.assertEqual(first["time_since_start_us"], first["scan_counter"] * 40000)
        self.assertLessEqual(first["time_since_start_us"], first["transmit_us"])
        self.assertEqual(first["transmit_us"], 10000000)  # --uptime 10

    def test_status_and_obstacle_for_chosen_scans(self):
        self.start()
        self.ask("sRN STlms")
        self.ask("sRN STlms")
        now = self.clock()
        self.s.control("status", ["0:1", "2"], now)
        self.s.control("obstacle", ["1", "3000"], now)
        scans = [self.ask(POLL) for _ in range(3)]
        self.assertEqual([s["status"] for s in scans], [[0, 1], [0, 1], [0, 0]])
        self.assertEqual([s["good"] for s in scans], [False, False, True])
        self.assertEqual([s["obstacle"] for s in scans], [True, False, False])
        self.assertEqual(scans[0]["distances"][320:400], [3000] * 80)
        self.assertEqual(scans[1]["distances"][320:400], [0] * 80)  # open sky
        with self.assertRaises(ValueError):
            self.s.control("status", ["1", "0"], now)

    def test_a_blinking_obstacle_comes_and_goes_with_every_scan(self):
        self.start()
        self.ask("sRN STlms")
        self.ask("sRN STlms")
        self.s.control("obstacle", ["blink", "2200"], self.clock())
        scans = [self.ask(POLL) for _ in range(4)]
        self.assertEqual([s["obstacle"] for s in scans], [True, False, True, False])
        self.assertEqual([s["obstacle_mm"] for s in scans if s["obstacle"]], [2200, 2200])
        self.s.control("obstacle", ["off"], self.clock())
        self.assertFalse(self.ask(POLL)["obstacle"])
        self.assertFalse(self.ask(POLL)["obstacle"])


class SimulatorSocketTest(SimulatorTest):
    """The simulator's own loop on loopback, driven like the scanner service drives it."""

    def start(self, *extra, scanners=2):
        self.run_simulator(lambda argv: sopas_sim.Simulator(sim_args(*argv)),
                           "--scanners", str(scanners), "--ready-after", "2", *extra)
        return [(s.address, s.port) for s in self.sim.scanners]

    def connect(self, address):
        s = socket.create_connection(address, timeout=WAIT)
        self.addCleanup(s.close)
        return s

    def send(self, s, text):
        s.sendall(cola.frame(text))

    def reply(self, s, timeout=WAIT):
        """One reply read to its ETX; (text, number of reads it took)."""
        s.settimeout(timeout)
        data, reads = b"", 0
        while not data.endswith(cola.ETX):
            chunk = s.recv(65536)
            if not chunk:
                raise ConnectionError("closed")
            data += chunk
            reads += 1
        self.assertTrue(data.startswith(cola.STX))
        self.assertEqual(data.count(cola.ETX), 1)
        return data.decode("latin-1"), reads

    def ask(self, s, text):
        self.send(s, text)
        return self.reply(s)[0]

    def bring_up(self, s):
        """The service's start sequence; returns the layout it would use."""
        self.ask(s, ACCESS)
        layout = 1 if "LMDscandata" in self.ask(s, CONFIG_1) else 0
        if not layout:
            layout = 2 if "LMDscandata" in self.ask(s, CONFIG_2) else 0
        self.assertNotEqual(layout, 0)
        self.assertEqual(self.ask(s, "sMN Run"), "\x02sAN Run 1\x03")
        self.ask(s, "sMN LMCstartmeas")
        for polls in range(1, 21):
            if "sRA STlms 7" in self.ask(s, "sRN STlms"):
                return layout, polls
        self.fail("never ready")

    def events(self, kind=None):
        with open(self.truth, encoding="utf-8") as f:
            items = [json.loads(line) for line in f]
        return [e for e in items if kind is None or e["event"] == kind]

    def wait_for(self, predicate):
        end = time.monotonic() + WAIT
        while time.monotonic() < end:
            found = [e for e in self.events() if predicate(e)]
            if found:
                return found
            time.sleep(0.02)
        self.fail("no such truth record")

    def test_two_scanners_in_both_layouts_match_the_truth_value_for_value(self):
        addresses = self.start("--refuse-config", "none,first", "--step", "0.25,0.5",
                               "--ceiling", "4000", "--noise", "3")
        self.assertEqual([a[0] for a in addresses], ["127.0.0.2", "127.0.0.3"])
        clients = [self.connect(a) for a in addresses]
        layouts = [self.bring_up(c) for c in clients]
        self.assertEqual(layouts, [(1, 3), (2, 3)])  # ready after 2 polls answered with 5
        replies = {}
        for _ in range(3):
            for i, c in enumerate(clients):
                replies.setdefault(i, []).append(self.ask(c, POLL))
        self.stop()
        scans = self.events("scan")
        for i, layout in ((0, 1), (1, 2)):
            mine = [e for e in scans if e["scanner"] == i]
            self.assertEqual([e["seq"] for e in mine], [1, 2, 3])
            for reply, truth in zip(replies[i], mine):
                distances, remissions = client_values(reply, layout)
                self.assertEqual(truth["layout"], layout)
                self.assertEqual(distances, truth["distances"])
                self.assertEqual(remissions, truth["remissions"])
                self.assertEqual(len(remissions), truth["remission_points"])
            self.assertNotEqual(mine[0]["distances"], mine[1]["distances"])  # seeded noise
        self.assertEqual((scans[0]["points"], scans[1]["points"]), (1081, 541))
        self.assertEqual(max(scans[1]["remissions"]) <= 255, True)
        self.assertGreater(max(scans[0]["remissions"]), 255)  # 16-bit channel
        received = [e["text"] for e in self.events("received") if e["scanner"] == 1]
        self.assertEqual(received[:3], [ACCESS, CONFIG_1, CONFIG_2])  # spaces kept

    def test_split_and_slow_replies_arrive_whole(self):
        (address,) = self.start("--split", "1:30:200", "--split-gap", "50", "--truth-telegrams",
                                scanners=1)
        c = self.connect(address)
        self.bring_up(c)
        self.send(c, POLL)
        text, reads = self.reply(c)
        scan = self.wait_for(lambda e: e["event"] == "scan")[0]
        self.assertEqual(text, "\x02" + scan["telegram"] + "\x03")
        self.assertEqual(scan["chunks"][:3], [1, 29, 170])
        self.assertGreaterEqual(reads, 2)
        self.assertEqual(self.command("split random"), "ok")
        for _ in range(5):
            self.assertIsNotNone(client_values(self.ask(c, POLL), 1))
        self.assertEqual(self.command("split off"), "ok")
        self.assertEqual(self.command("slow 400"), "ok")
        begun = time.monotonic()
        self.send(c, POLL)
        c.settimeout(0.1)
        with self.assertRaises(socket.timeout):  # nothing within the client's 0.1 s
            c.recv(1)
        self.reply(c)
        self.assertGreaterEqual(time.monotonic() - begun, 0.39)
        self.assertEqual(self.command("slow 400 mid"), "ok")
        self.send(c, POLL)
        c.settimeout(WAIT)
        first = c.recv(65536)
        self.assertTrue(first.startswith(cola.STX) and not first.endswith(cola.ETX))

    def test_drop_reconnect_silence_and_power(self):
        (address,) = self.start("--drop-after", "2", scanners=1)
        c = self.connect(address)
        self.bring_up(c)
        self.ask(c, POLL)
        self.ask(c, POLL)
        c.settimeout(WAIT)
        self.assertEqual(c.recv(100), b"")  # closed after scan 2
        self.wait_for(lambda e: e.get("reason") == "drop after scan 2")
        old = self.connect(address)
        self.assertIn("sRA STlms 7", self.ask(old, "sRN STlms"))  # still measuring
        c = self.connect(address)  # the newer connection replaces the older one
        self.assertEqual(old.recv(100), b"")
        self.assertIn("sRA STlms 7", self.ask(c, "sRN STlms"))
        self.assertEqual(self.ask(c, POLL).split(" ")[1], "LMDscandata")  # scan 3
        with open(self.control, "a") as f:
            f.write("0 silent\n")
        self.wait_for(lambda e: e.get("command") == "0 silent")
        self.send(c, POLL)
        with self.assertRaises(socket.timeout):
            self.reply(c, timeout=0.3)
        self.assertEqual(self.command("talk"), "ok")
        self.assertIn("LMDscandata", self.ask(c, POLL))
        polls = [e for e in self.events("received") if "seq" in e]
        self.assertEqual([(e["seq"], e["answered"]) for e in polls][-2:], [(4, False), (5, True)])
        self.assertEqual(self.command("0 drop reset"), "ok")
        with self.assertRaises((ConnectionError, OSError)):
            self.ask(c, POLL)
        self.assertEqual(self.command("off"), "ok")
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(address, timeout=WAIT).close()
        self.assertEqual(self.command("on"), "ok")
        c = self.connect(address)
        self.ask(c, ACCESS)
        self.assertIn("sRA STlms 6", self.ask(c, "sRN STlms"))  # powered up stopped
        # Off for a while: refused, then on by itself, stopped again.
        self.bring_up(c)
        self.assertEqual(self.command("0 off 0.5"), "ok")
        self.assertEqual(c.recv(100), b"")
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(address, timeout=WAIT).close()
        self.wait_for(lambda e: e.get("command") == "0 on")
        c = self.connect(address)
        self.ask(c, ACCESS)
        self.assertIn("sRA STlms 6", self.ask(c, "sRN STlms"))
        # A relapse set from now on: state 7 once, then 5 for that many polls.
        self.assertEqual(self.command("relapse 2"), "ok")
        self.bring_up(c)
        self.assertEqual([self.ask(c, "sRN STlms").split(" ")[2] for _ in range(3)],
                         ["5", "5", "7"])
        self.assertEqual(self.command("2 drop"), "error no scanner 2")
        self.assertEqual(self.command("fly"), "error unknown command")

    def test_obstacle_by_scan_number_oversize_and_bounds(self):
        (address,) = self.start("--on-scan", "3", "obstacle 2 1800", "--on-scan", "6",
                                "oversize", "--on-scan", "7", "announce 1500", scanners=1)
        c = self.connect(address)
        self.bring_up(c)
        replies = [self.ask(c, POLL) for _ in range(7)]
        self.wait_for(lambda e: e["event"] == "scan" and e["seq"] == 7)
        scans = self.events("scan")
        self.assertEqual([e["obstacle"] for e in scans],
                         [False, False, True, True, False, False, False])
        sector = self.events("ready")[0]["scanners"][0]["sector_points"]
        first, count = sector
        distances, _ = client_values(replies[2], 1)
        self.assertEqual(distances[first:first + count], [1800] * count)
        self.assertGreater(len(replies[5]), 12000)
        self.assertEqual(client_values(replies[5], 1)[0], scans[5]["distances"])
        tok = replies[6].split(" ")
        self.assertEqual(tok[25], "5DC")  # 1500 announced, 1081 values sent
        self.assertEqual(scans[6]["announced"], 1500)

    @unittest.skipUnless(os.path.isdir(SAMPLES), "no sample telegrams")
    def test_replay_of_real_telegrams(self):
        (address,) = self.start(scanners=1)
        c = self.connect(address)
        self.bring_up(c)
        path = os.path.join(SAMPLES, "tim5xx_osgar_sRA_LMDscandata.dat")
        self.assertEqual(self.command("replay " + path), "ok")
        with open(path, "rb") as f:
            original = f.read()
        self.send(c, POLL)
        data, _ = self.reply(c)
        self.assertEqual(data.encode("latin-1"), original)
        scan = self.wait_for(lambda e: e["event"] == "scan")[-1]
        self.assertEqual((scan["points"], scan["dist1_field"], scan["remission_points"]),
                         (811, 20, 0))
        self.assertEqual(client_values(data, 1)[0], scan["distances"])
        # A capture stored without STX/ETX goes out framed, unless raw.
        self.assertEqual(self.command("replay tim561_pysicktim_demo_sRA_LMDscandata.dat"), "ok")
        data = self.ask(c, POLL)
        self.assertTrue(data.startswith("\x02sRA LMDscandata") and not data.endswith("\n\x03"))
        self.assertEqual(self.command("replay lms1xx_docexample_sRA_LMDscandata.dat"), "ok")
        doc = cola.decode_scan(self.ask(c, POLL))
        self.assertEqual((doc["channels"]["DIST1"]["count"], doc["channels"]["DIST1"]["start"]),
                         (21, 100000))
        self.assertEqual(self.command("replay mrs1000_lms1xxfork_sSN_LMDscandata.dat"), "ok")
        self.assertGreater(len(self.ask(c, POLL)), 12000)
        self.assertIn("error", self.command("replay no-such-file.dat"))
        self.assertEqual(self.command("scene"), "ok")
        self.assertIsNotNone(client_values(self.ask(c, POLL), 1))


class CommandLineTest(unittest.TestCase):
    def test_runs_a_program_against_the_scanners(self):
        child = ("import os, socket, sys\n"
                 "a, p = os.environ['SURVEY_SIM_SCANNERS'].split()[1].split(':')\n"
                 "s = socket.create_connection((a, int(p)), timeout=5)\n"
                 "s.sendall(b'\\x02sMN SetAccessMode 03 5C0B19E2\\x03')\n"
                 "r = b''\n"
                 "while not r.endswith(b'\\x03'): r += s.recv(100)\n"
                 "sys.exit(3 if r == b'\\x02sAN SetAccessMode 1\\x03' else 1)\n")
        with tempfile.TemporaryDirectory() as d:
            truth = os.path.join(d, "truth.jsonl")
            rc = sopas_sim.main(["--port", "0", "--truth", truth, "--duration", "20", "--",
                                 sys.executable, "-c", child])
            self.assertEqual(rc, 3)
            with open(truth) as f:
                events = [json.loads(line)["event"] for line in f]
            self.assertEqual(events[0], "ready")
            self.assertIn("reply", events)

    def test_timed_commands_run(self):
        with tempfile.TemporaryDirectory() as d:
            truth = os.path.join(d, "truth.jsonl")
            rc = sopas_sim.main(["--port", "0", "--truth", truth, "--duration", "20", "--at",
                                 "0.2", "1 obstacle on", "--at", "0.3", "quit"])
            self.assertEqual(rc, 0)
            with open(truth) as f:
                commands = [e for e in map(json.loads, f) if e["event"] == "command"]
            self.assertEqual([(e["command"], e["result"]) for e in commands],
                             [("1 obstacle on", "ok"), ("quit", "ok")])
            self.assertGreaterEqual(commands[0]["t"], 0.2)

    def test_per_scanner_values(self):
        opts = sopas_sim.scanner_options(sim_args("--base", "1200,", "--sector=-5:5,20:40",
                                                  "--split", "random"))
        self.assertEqual([o["base"] for o in opts], [1200.0, 1500.0])
        self.assertEqual([o["sector"] for o in opts], [(-5.0, 5.0), (20.0, 40.0)])
        self.assertEqual([o["split"] for o in opts], ["random", "random"])
        with self.assertRaises(SystemExit):
            sopas_sim.scanner_options(sim_args("--refuse-config", "sometimes"))


if __name__ == "__main__":
    unittest.main()
