"""The odometer converter simulator: its line format, its reference pulse
detector, and what it sends on its pty."""

import json
import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import odometer_sim  # noqa: E402
from running_simulator import PtySimulatorTest  # noqa: E402


class LineAndDetectorTest(unittest.TestCase):
    def test_the_value_a_program_reads_from_a_line(self):
        self.assertEqual(odometer_sim.line_value("voltage=3.215\r\n"), 3.215)
        self.assertEqual(odometer_sim.line_value("ch1 voltage= -0.5e1V"), -5.0)
        self.assertEqual(odometer_sim.line_value("voltage=x4.800\r\n"), 0.0)
        self.assertIsNone(odometer_sim.line_value("status=ok\r\n"))

    def test_a_pulse_is_a_step_up_after_a_step_down(self):
        d = odometer_sim.PulseDetector(1.0)
        d.feed(1.0)  # far below the initial reference: only clears rising
        self.assertEqual(d.pulses, 0)
        d.feed(4.0)
        self.assertEqual(d.pulses, 1)
        d.feed(4.5)  # small steps change nothing
        d.feed(4.0)
        self.assertEqual(d.pulses, 1)
        d.feed(1.0)
        d.feed(4.0)
        self.assertEqual(d.pulses, 2)

    def test_a_slow_drift_counts_once_it_exceeds_the_threshold(self):
        d = odometer_sim.PulseDetector(1.0)
        d.feed(0.0)
        for v in (0.4, 0.8, 1.2):  # the reference stays at 0.0 through small steps
            d.feed(v)
        self.assertEqual(d.pulses, 1)
        self.assertEqual(d.last, odometer_sim.f32(1.2))

    def test_lines_are_cut_at_odd_offsets(self):
        import random
        rng = random.Random(3)
        self.assertEqual(odometer_sim.split_points(30, "none", rng), [])
        self.assertEqual(odometer_sim.split_points(30, "odd", rng), [15])
        self.assertEqual(odometer_sim.split_points(28, "odd", rng), [13])
        cuts = [c for _ in range(200) for c in odometer_sim.split_points(30, "random", rng)]
        self.assertTrue(cuts and all(0 < c < 30 for c in cuts))
        self.assertGreater(sum(c % 2 for c in cuts), len(cuts) / 2)


class PtyTest(PtySimulatorTest):
    """The simulator on its pty, read from the slave side like a serial port."""

    def start(self, *extra):
        self.run_on_pty(lambda argv: odometer_sim.Converter(odometer_sim.make_parser().parse_args(
            argv)), "converter", *extra)

    def read_for(self, seconds):
        """(all bytes, the size of every read) over `seconds`, polling every 3 ms."""
        data, sizes = b"", []
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            try:
                chunk = os.read(self.fd, 255)
                data += chunk
                sizes.append(len(chunk))
            except BlockingIOError:
                time.sleep(0.003)
        return data, sizes

    def test_talks_only_at_its_own_speed(self):
        self.start("--rate", "20")
        self.set_speed(19200)
        self.assertEqual(self.read_for(0.3)[0], b"")
        self.set_speed(9600)
        data, _ = self.read_for(0.4)
        self.assertIn("voltage=".encode("utf-16-le"), data)
        ports = [e for e in self.truth_lines() if e["event"] == "port"]
        self.assertEqual(ports[-1]["framing"], "8N1")
        self.assertTrue(ports[-1]["talking"])

    def test_utf16_lines_in_odd_pieces_match_the_truth(self):
        # 3.6 km/h over 100 mm a pulse: 10 pulses a second, 5 lines a pulse.
        self.start("--rate", "50", "--speed", "3.6", "--path-mm", "100", "--split", "odd",
                   "--split-gap-ms", "6")
        self.set_speed(9600)
        data, sizes = self.read_for(1.5)
        self.stop()
        self.assertTrue(any(n % 2 for n in sizes), sizes)
        if len(data) % 2:
            data = data[:-1]  # a line still under way
        text = data.decode("utf-16-le")
        received = [l + "\n" for l in text.split("\n")[:-1]]
        sent = [e for e in self.truth_lines() if e["event"] == "line"]
        self.assertGreater(len(received), 50)
        self.assertEqual(received, [e["text"] for e in sent[:len(received)]])
        for e in sent:
            self.assertEqual(e["chunks"][0] % 2, 1)
            self.assertEqual(sum(e["chunks"]), 2 * len(e["text"]))
        detector = odometer_sim.PulseDetector(1.0)
        for line in received:
            detector.feed(odometer_sim.line_value(line))
        self.assertEqual(detector.pulses, sent[len(received) - 1]["pulses"])
        # About ten pulses a second; a correct detector counts every edge.
        last = sent[len(received) - 1]
        self.assertEqual(last["pulses"], last["edges"])
        self.assertGreaterEqual(last["edges"], 10)

    def test_commands_hold_bad_junk_and_silence(self):
        self.start("--rate", "40", "--split", "none")
        self.set_speed(9600)
        self.assertEqual(self.command("hold 2.5"), "ok")
        self.assertEqual(self.command("bad 1"), "ok")
        self.assertEqual(self.command("junk 1"), "ok")
        time.sleep(0.1)
        text = self.read_for(0.3)[0].decode("utf-16-le")
        self.assertIn("voltage=2.500\r\n", text)
        self.assertIn("voltage=x", text)
        self.assertTrue(any(l and "voltage=" not in l for l in text.split("\r\n")), text)
        self.assertEqual(self.command("silent"), "ok")
        self.read_for(0.1)
        self.assertEqual(self.read_for(0.3)[0], b"")
        self.assertTrue(json.loads(self.command("status"))["silent"])
        self.command("talk")
        self.command("encoding ascii")
        self.assertIn(b"voltage=2.500\r\n", self.read_for(0.3)[0])
        self.assertEqual(self.command("split sideways"), "error split none|random|odd")


if __name__ == "__main__":
    unittest.main()
