"""Sentence building of the receiver simulator, and its pty behaviour."""

import glob
import json
import os
import sys
import time
import tty
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SIM_DIR = os.path.dirname(HERE)
sys.path.insert(0, SIM_DIR)

import nmea_sentences as nmea  # noqa: E402
import nmea_sim  # noqa: E402
from running_simulator import WAIT, PtySimulatorTest  # noqa: E402

CAPTURES = os.path.join(os.environ.get("SURVEY_SOURCE_DIR", os.path.dirname(SIM_DIR)), "..",
                        "shared", "data", "nmea")


def split_sentence(line):
    body, _, cs = line.rstrip("\r\n")[1:].partition("*")
    return body, cs


class SentenceTest(unittest.TestCase):
    def test_checksum_of_a_well_known_sentence(self):
        self.assertEqual(
            nmea.checksum("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), "47")

    def test_frame_writes_crlf_and_uppercase_hex(self):
        line = nmea.frame("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1")
        self.assertTrue(line.endswith("\r\n"))
        body, cs = split_sentence(line)
        self.assertEqual(cs, nmea.checksum(body))
        self.assertEqual(cs, cs.upper())

    def test_bad_and_lowercase_checksums(self):
        body = "GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E"
        good = nmea.checksum(body)
        _, bad = split_sentence(nmea.frame(body, bad_checksum=True))
        self.assertNotEqual(bad, good)
        self.assertRegex(bad, "^[0-9A-F]{2}$")
        _, lower = split_sentence(nmea.frame(body, lowercase=True))
        self.assertEqual(lower, good.lower())

    def test_gga_layout(self):
        body = nmea.gga("GP", 12 * 3600 + 35 * 60 + 19.5, 55.75, 37.625, 8)
        fields = body.split(",")
        self.assertEqual(body.count(","), 14)
        self.assertEqual(fields[1], "123519.50")
        self.assertEqual(fields[2], "5545.00000")
        self.assertEqual(fields[4], "03737.50000")
        self.assertEqual(fields[7], "08")
        info = nmea.describe(nmea.frame(body))
        self.assertTrue(info["checksum_ok"])
        self.assertAlmostEqual(info["lat"], 55.75, places=7)
        self.assertAlmostEqual(info["lon"], 37.625, places=7)

    def test_southern_and_western_positions(self):
        body = nmea.gga("GP", 0, -33.5, -70.25, 6)
        fields = body.split(",")
        self.assertEqual(fields[3], "S")
        self.assertEqual(fields[5], "W")
        # Hemisphere-blind readers see the magnitude.
        self.assertAlmostEqual(nmea.ddmm_to_degrees(fields[2]), 33.5, places=7)

    def test_minutes_rounding_carries_into_degrees(self):
        text, _ = nmea.format_lat(55.9999999999, decimals=4)
        self.assertEqual(text, "5600.0000")
        self.assertEqual(nmea.format_time(86399.999, 2), "000000.00")

    def test_rmc_date_is_field_nine(self):
        body = nmea.rmc("GN", 3600, 55.0, 37.0, 10.0, 90.0, 31, 12, 2018)
        self.assertEqual(body.split(",")[9], "311218")
        self.assertAlmostEqual(float(body.split(",")[7]), 10.0 * 3600 / 1852, places=2)
        info = nmea.describe(nmea.frame(body))
        self.assertEqual((info["day"], info["month"], info["year"]), (31, 12, 2018))

    def test_gsa_slots(self):
        body = nmea.gsa("GN", [1, 2, 3, 4, 5])
        self.assertEqual(nmea.describe(nmea.frame(body))["used"], 5)
        self.assertEqual(body.count(","), 17)
        many = nmea.gsa("GP", list(range(1, 20)))
        self.assertEqual(nmea.describe(nmea.frame(many))["used"], 12)

    def test_service_log_fields_are_stripped(self):
        sentence = nmea.frame(nmea.gga("GP", 100, 55.0, 37.0, 9)).rstrip("\r\n")
        self.assertEqual(nmea.strip_log_fields(sentence + ",11.13,181227,87"), sentence)
        self.assertEqual(nmea.strip_log_fields(sentence), sentence)
        junk = "$GPGSV,3,1,12*7,1.0,123456,1"
        self.assertEqual(nmea.strip_log_fields(junk), junk)


@unittest.skipUnless(os.path.isdir(CAPTURES), "no capture files")
class CaptureTest(unittest.TestCase):
    def test_checksums_agree_with_the_captures(self):
        # firefly-II: every GGA carries a wrong checksum, its RMC lines are right.
        with open(os.path.join(CAPTURES, "firefly-II.log"), encoding="latin-1") as f:
            lines = [l for l in f.read().splitlines() if l.startswith("$GP")]
        gga = [nmea.describe(l) for l in lines if l.startswith("$GPGGA")]
        rmc = [nmea.describe(l) for l in lines if l.startswith("$GPRMC")]
        self.assertEqual(len(gga), 23)
        self.assertFalse(any(i["checksum_ok"] for i in gga))
        self.assertTrue(rmc and all(i["checksum_ok"] for i in rmc))

    def test_every_capture_loads_into_epochs(self):
        for path in sorted(glob.glob(os.path.join(CAPTURES, "*.log"))):
            epochs = nmea_sim.load_capture(path)
            self.assertTrue(epochs, path)
            for epoch in epochs:
                for line in epoch:
                    self.assertFalse(line.startswith("#"), path)

    def test_epochs_follow_the_time_field(self):
        epochs = nmea_sim.load_capture(os.path.join(CAPTURES, "bu353s4.log"))
        # 25 GGA/RMC/GSA cycles, one second apart.
        self.assertGreaterEqual(len(epochs), 25)
        first = [l for l in epochs[1] if l.startswith("$GPGGA")]
        self.assertEqual(len(first), 1)


class PtyTest(PtySimulatorTest):
    """The simulator on its pty, read from the slave side like a serial port."""

    def start(self, *extra):
        self.run_on_pty(lambda argv: nmea_sim.Simulator(nmea_sim.make_parser().parse_args(argv)),
                        "receiver", "--rate", "10", "--start", "2018-12-27T23:59:58", *extra)

    def read_for(self, seconds):
        data = b""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            try:
                data += os.read(self.fd, 4096)
            except BlockingIOError:
                time.sleep(0.02)
        return data.decode("latin-1")

    def test_talks_only_at_its_own_speed(self):
        self.start("--baud", "57600")
        self.set_speed(9600)
        self.assertEqual(self.read_for(0.5), "")
        self.set_speed(57600)
        text = self.read_for(0.6)
        lines = [l for l in text.split("\r\n") if l]
        self.assertTrue(any(l.startswith("$GPGGA,") for l in lines), text)
        for line in lines:
            body, cs = split_sentence(line)
            self.assertEqual(cs, nmea.checksum(body), line)

    def test_garbage_at_the_wrong_speed(self):
        self.start("--baud", "9600", "--mismatch", "garbage")
        self.set_speed(115200)
        text = self.read_for(0.4)
        self.assertTrue(text)
        self.assertNotIn("$", text)
        self.assertTrue(all(ord(c) >= 128 for c in text))

    def test_date_rolls_over_at_midnight(self):
        self.start()
        self.set_speed(115200)
        # Started 2018-12-27 23:59:58 at 10 Hz: 25 epochs reach the next day.
        text = self.read_for(2.8)
        dates = {l.split(",")[9] for l in text.split("\r\n") if l.startswith("$GPRMC")}
        self.assertIn("271218", dates)
        self.assertIn("281218", dates)

    def test_silence_and_commands(self):
        self.start()
        self.set_speed(115200)
        self.assertTrue(self.read_for(0.3))
        self.assertEqual(self.command("silent"), "ok")
        self.read_for(0.1)
        self.assertEqual(self.read_for(0.5), "")
        self.assertTrue(json.loads(self.command("status"))["silent"])
        with open(self.control, "a") as f:
            f.write("talk\n")
        self.assertTrue(self.read_for(0.5))
        self.assertEqual(self.command("nonsense"), "error unknown command")

    def test_talker_satellites_and_injected_errors(self):
        self.start("--talker", "GN", "--gga-talker", "GP", "--sats", "5")
        self.set_speed(115200)
        text = self.read_for(0.4)
        self.assertIn("$GPGGA,", text)
        self.assertIn("$GNRMC,", text)
        self.assertIn("$GNGSA,", text)
        self.assertNotIn("$GNGGA,", text)
        self.command("badcs 4")
        self.command("line GPTXT,01,01,02,hello")
        text = self.read_for(0.5)
        lines = [l for l in text.split("\r\n") if l.startswith("$")]
        bad = [l for l in lines if split_sentence(l)[1] != nmea.checksum(split_sentence(l)[0])]
        self.assertGreaterEqual(len(bad), 4)
        self.assertTrue(any(l.startswith("$GPTXT,01,01,02,hello*") for l in lines))

    def test_truth_records_what_was_sent(self):
        self.start("--speed", "72")
        self.set_speed(115200)
        text = self.read_for(1.0)
        self.stop()
        with open(self.truth) as f:
            records = [json.loads(l) for l in f]
        sent = [r["line"] for r in records if r.get("event") == "sent"]
        received = [l for l in text.split("\r\n") if l.startswith("$")]
        self.assertTrue(received)
        for line in received:
            self.assertIn(line, sent)
        fixes = [r for r in records if r.get("event") == "fix"]
        self.assertGreaterEqual(len(fixes), 2)
        # 72 km/h at 10 Hz: 2 m per epoch along the route.
        self.assertAlmostEqual(fixes[1]["distance_m"] - fixes[0]["distance_m"], 2.0, places=6)

    @unittest.skipUnless(os.path.isdir(CAPTURES), "no capture files")
    def test_replays_a_capture_with_crlf(self):
        path = os.path.join(CAPTURES, "bu353s4.log")
        self.start("--replay", path)
        self.set_speed(115200)
        text = self.read_for(0.5)
        with open(path, encoding="latin-1") as f:
            original = [l for l in f.read().splitlines() if l.startswith("$")]
        received = [l for l in text.split("\r\n") if l]
        self.assertGreaterEqual(len(received), 6)
        self.assertEqual(received, original[:len(received)])

    def test_replays_a_service_day_log_without_the_added_fields(self):
        self.start()
        sentence = nmea.frame(nmea.gga("GP", 3600, 55.0, 37.0, 9)).rstrip("\r\n")
        log = os.path.join(self.dir.name, "gps181227.log")
        with open(log, "w") as f:
            f.write(sentence + ",11.13,181227,87\n")
        self.command("replay " + log)
        self.set_speed(115200)
        self.assertIn(sentence + "\r\n", self.read_for(0.3))

    def test_falls_silent_after_a_while(self):
        self.start("--silent-after", "0.5", "--silent-for", "1.5")
        self.set_speed(115200)
        self.assertTrue(self.read_for(0.55))
        self.read_for(0.15)
        self.assertEqual(self.read_for(0.6), "")
        self.assertTrue(self.read_for(1.5))

    def test_unplugged_port_goes_away_and_comes_back(self):
        self.start()
        self.set_speed(115200)
        self.assertTrue(self.read_for(0.3))
        self.assertEqual(self.command("unplug 1"), "ok")
        self.assertFalse(os.path.lexists(self.link))
        try:  # the open handle is hung up: end of file or an error
            self.assertEqual(os.read(self.fd, 4096), b"")
        except OSError as e:
            self.assertNotIsInstance(e, BlockingIOError)
        deadline = time.monotonic() + WAIT
        while not os.path.lexists(self.link) and time.monotonic() < deadline:
            time.sleep(0.05)
        # A new pty at the same path, which talks once the speed is set again.
        fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.addCleanup(os.close, fd)
        self.fd = fd
        tty.setraw(fd)
        self.assertEqual(self.read_for(0.3), "")
        self.set_speed(115200)
        self.assertIn("$GPGGA,", self.read_for(0.5))
        events = [r["event"] for r in self.truth_lines() if r["event"] in ("unplug", "plug")]
        self.assertEqual(events, ["unplug", "plug"])


class RouteTest(unittest.TestCase):
    def test_route_position_and_end(self):
        route = nmea_sim.Route([(55.0, 37.0), (55.001, 37.0)], loop=False)
        self.assertAlmostEqual(route.length, 111.2, delta=0.5)
        lat, lon, course, moving = route.at(route.length / 2)
        self.assertAlmostEqual(lat, 55.0005, places=6)
        self.assertAlmostEqual(course, 0.0, places=3)
        self.assertTrue(moving)
        self.assertFalse(route.at(route.length * 2)[3])
        looped = nmea_sim.Route([(55.0, 37.0), (55.001, 37.0)], loop=True)
        self.assertTrue(looped.at(looped.length * 1.5)[3])


if __name__ == "__main__":
    unittest.main()
