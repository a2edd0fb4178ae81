"""What the simulators' own tests share: a simulator run by its own loop on a
thread of the test, with its truth file, control file and control socket in a
temporary folder; for the serial simulators, the slave side of its pty opened
the way a program opens a serial port."""

import json
import os
import socket
import tempfile
import termios
import threading
import time
import tty
import unittest

WAIT = 5.0  # seconds any one reply may take


class SimulatorTest(unittest.TestCase):
    def run_simulator(self, make, *argv):
        """`make(argv)` builds the simulator from its command line, to which
        the truth file and both control channels are added."""
        self.folder()
        self.sim = make(["--truth", self.truth, "--control-file", self.control,
                         "--control-socket", self.socket_path] + list(argv))
        self.thread = threading.Thread(target=self.sim.run, args=(None, time.monotonic() + 30))
        self.thread.start()
        self.addCleanup(self.stop)
        return self.sim

    def folder(self):
        if getattr(self, "dir", None) is None:
            self.dir = tempfile.TemporaryDirectory()
            self.addCleanup(self.dir.cleanup)
            self.truth = os.path.join(self.dir.name, "truth.jsonl")
            self.control = os.path.join(self.dir.name, "control")
            self.socket_path = os.path.join(self.dir.name, "control.sock")
        return self.dir.name

    def stop(self):
        """Ends the simulator (again at clean-up: harmless)."""
        self.sim.quit = True
        self.thread.join(10)
        self.sim.close()

    def command(self, text):
        """A command through the control socket, and its reply line."""
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as c:
            c.settimeout(WAIT)
            c.connect(self.socket_path)
            c.sendall((text + "\n").encode())
            return c.makefile().readline().strip()

    def truth_lines(self):
        with open(self.truth, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]


class PtySimulatorTest(SimulatorTest):
    def run_on_pty(self, make, link_name, *argv):
        """The simulator with its pty linked as `link_name` in the test's
        folder; the slave side opened raw and non-blocking as self.fd."""
        self.link = os.path.join(self.folder(), link_name)
        self.run_simulator(make, "--link", self.link, *argv)
        self.fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.addCleanup(os.close, self.fd)
        tty.setraw(self.fd)

    def set_speed(self, speed):
        """The port's speed in bit/s, as a program sets it; input dropped."""
        attrs = termios.tcgetattr(self.fd)
        attrs[4] = attrs[5] = getattr(termios, "B%d" % speed)
        termios.tcsetattr(self.fd, termios.TCSANOW, attrs)
        termios.tcflush(self.fd, termios.TCIFLUSH)
