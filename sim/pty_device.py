"""A simulated serial device on a pseudo-terminal: the pieces every serial
simulator of the suite shares.

- The pty: the simulator owns the master and keeps the slave open too, so the
  line discipline keeps the speed the program set and reads on the master
  never see a hang-up. The slave's path is linked to --link, and --wine-com N
  links COM N of the Wine prefix named by WINEPREFIX to it.
- The truth file: JSON lines of what was sent ("-" for standard output), each
  with "t", seconds since the start.
- Commands: one per line, through a control file (appended lines are read)
  and/or a UNIX stream socket (one reply line per command).
- Unplugging: "unplug [SECONDS]" closes the pty and removes its links, as a
  USB-serial adapter pulled out; after SECONDS (or on "plug") a new pty
  appears at the same links, with the speed the line discipline starts with,
  so the program has to open and set up the port again.
- "-- COMMAND ARGS": run COMMAND once the pty is ready, with SURVEY_SIM_LINK,
  SURVEY_SIM_CONTROL and SURVEY_SIM_TRUTH in its environment, and end with
  its exit code.

A simulator subclasses PtyDevice and implements tick(now), next_due() and
command(name, arg); see nmea_sim.py and odometer_sim.py.
"""

import json
import math
import os
import pty
import selectors
import signal
import socket
import subprocess
import sys
import termios
import time
import tty

SPEEDS = {}
for _name in dir(termios):
    if _name.startswith("B") and _name[1:].isdigit():
        SPEEDS[getattr(termios, _name)] = int(_name[1:])


def decode_escapes(text):
    """Bytes of a control-command text with \\r, \\n and \\xHH escapes."""
    return text.encode("latin-1", "replace").decode("unicode_escape").encode("latin-1", "replace")


class ControlFile:
    """Commands appended to a file while a simulator runs: the lines added
    since the last look (what was there at the start is not a command)."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.partial = b""
        if path:
            open(path, "ab").close()
            self.offset = os.path.getsize(path)

    def new_lines(self):
        if not self.path:
            return []
        try:
            size = os.path.getsize(self.path)
        except OSError:
            return []
        if size < self.offset:  # truncated: start over
            self.offset, self.partial = 0, b""
        if size == self.offset:
            return []
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            data = f.read(size - self.offset)
        self.offset += len(data)
        lines = (self.partial + data).split(b"\n")
        self.partial = lines.pop()
        return [line.decode("utf-8", "replace") for line in lines]


class ControlSocket:
    """Commands through a UNIX stream socket: one per line, one reply line for
    each. Its sockets are registered on the simulator's selector with this
    object as their data; `handle` serves an event on any of them."""

    def __init__(self, path, selector, run_command):
        self.path = path
        self.selector = selector
        self.run_command = run_command
        self.server = None
        self.clients = {}  # socket -> bytes of a line not yet ended
        if path:
            if os.path.lexists(path):
                os.unlink(path)
            self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.server.bind(path)
            self.server.listen(4)
            self.server.setblocking(False)
            selector.register(self.server, selectors.EVENT_READ, self)

    def handle(self, conn):
        if conn is self.server:
            # The client stays blocking: select says when a read will not
            # wait, and a long reply ("show") is sent whole.
            client, _ = self.server.accept()
            self.clients[client] = b""
            self.selector.register(client, selectors.EVENT_READ, self)
            return
        try:
            data = conn.recv(4096)
        except OSError:
            data = b""
        if not data:
            self.selector.unregister(conn)
            self.clients.pop(conn, None)
            conn.close()
            return
        *lines, self.clients[conn] = (self.clients[conn] + data).split(b"\n")
        for line in lines:
            reply = self.run_command(line.decode("utf-8", "replace"))
            try:
                conn.sendall((reply + "\n").encode())
            except OSError:
                pass

    def close(self):
        for conn in self.clients:
            conn.close()
        self.clients.clear()
        if self.server:
            self.server.close()
            self.server = None
            if os.path.lexists(self.path):
                os.unlink(self.path)


class PtyDevice:
    def __init__(self, link=None, wine_com=None, truth=None, control_file=None,
                 control_socket=None):
        self.started = time.monotonic()
        self.truth = None
        if truth == "-":
            self.truth = sys.stdout
        elif truth:
            self.truth = open(truth, "w", encoding="utf-8")
        self.link = link
        self.wine_link = None
        if wine_com:
            # ntdll resolves \\.\COMn through this link directly; the port table
            # in the registry is read only when the Wine services start.
            prefix = os.environ.get("WINEPREFIX")
            if not prefix:
                raise SystemExit("--wine-com needs WINEPREFIX")
            self.wine_link = os.path.join(prefix, "dosdevices", "com%d" % wine_com)
        self.quit = False
        self.closed = False
        self.control = ControlFile(control_file)
        self.selector = selectors.DefaultSelector()
        self.master = self.slave = None
        self.plug_at = None  # monotonic time an unplugged port comes back; inf: on "plug"
        self.open_pty()
        self.control_socket = ControlSocket(control_socket, self.selector, self.run_command)
        signal.signal(signal.SIGTERM, lambda *_: setattr(self, "quit", True))

    def open_pty(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.slave_name = os.ttyname(self.slave)
        for path, target in ((self.link, self.slave_name),
                             (self.wine_link, self.link or self.slave_name)):
            if path:
                if os.path.lexists(path):
                    os.unlink(path)
                os.symlink(target, path)
        self.selector.register(self.master, selectors.EVENT_READ, "pty")

    def close_pty(self):
        """The pty goes away with its links; the program's open handle sees a hang-up."""
        for path in (self.wine_link, self.link):
            if path and os.path.islink(path):
                os.unlink(path)
        self.selector.unregister(self.master)
        os.close(self.master)
        os.close(self.slave)
        self.master = self.slave = None

    def plugged(self):
        return self.master is not None

    def unplug(self, seconds):
        if self.plugged():
            self.close_pty()
        self.plug_at = time.monotonic() + seconds if seconds else math.inf
        self.record({"event": "unplug", "seconds": seconds or None})

    def plug(self):
        self.plug_at = None
        if not self.plugged():
            self.open_pty()
            self.record({"event": "plug", "slave": self.slave_name})

    # -- to be provided by the simulator -------------------------------------
    def tick(self, now):
        """Send what is due at monotonic time `now`."""

    def next_due(self):
        """Monotonic time of the next thing to send."""
        return time.monotonic() + 0.02

    def command(self, name, arg):
        """Run one control command; return the reply text ("ok", "error ...")."""
        return "error unknown command"

    # -- truth -------------------------------------------------------------
    def record(self, item):
        if self.truth is None:
            return
        item.setdefault("t", round(time.monotonic() - self.started, 4))
        self.truth.write(json.dumps(item, ensure_ascii=False) + "\n")
        self.truth.flush()

    # -- port --------------------------------------------------------------
    def port_attributes(self):
        if not self.plugged():
            return None
        try:
            return termios.tcgetattr(self.master)
        except termios.error:
            return None

    def port_speed(self):
        attrs = self.port_attributes()
        return None if attrs is None else SPEEDS.get(attrs[5], attrs[5])

    def port_framing(self):
        """The program's frame setting as text, such as "8N1" (None if unknown)."""
        attrs = self.port_attributes()
        if attrs is None:
            return None
        cflag = attrs[2]
        bits = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}[cflag & termios.CSIZE]
        parity = "N"
        if cflag & termios.PARENB:
            parity = "O" if cflag & termios.PARODD else "E"
        stops = 2 if cflag & termios.CSTOPB else 1
        return "%d%s%d" % (bits, parity, stops)

    def write(self, data):
        """Writes bytes to the program; the count written (0 when the pty is
        full or unplugged)."""
        if not self.plugged():
            return 0
        try:
            return os.write(self.master, data)
        except BlockingIOError:
            return 0

    # -- commands -------------------------------------------------------------
    def run_command(self, text):
        parts = text.strip().split(None, 1)
        if not parts:
            return "ok"
        name, arg = parts[0].lower(), (parts[1] if len(parts) > 1 else "")
        self.record({"event": "command", "command": text.strip()})
        if name == "quit":
            self.quit = True
            return "ok"
        if name == "unplug":
            self.unplug(float(arg) if arg else 0.0)
            return "ok"
        if name == "plug":
            self.plug()
            return "ok"
        try:
            return self.command(name, arg)
        except (ValueError, OSError) as e:
            return "error %s" % e

    def poll_control_file(self):
        for line in self.control.new_lines():
            self.run_command(line)

    def handle_io(self, timeout):
        for key, _ in self.selector.select(timeout):
            if key.data == "pty":
                try:
                    os.read(self.master, 4096)  # the program's output: dropped
                except OSError:
                    pass
            elif key.data is self.control_socket:
                self.control_socket.handle(key.fileobj)

    def run(self, child=None, deadline=None):
        while not self.quit:
            now = time.monotonic()
            if deadline is not None and now >= deadline:
                break
            if child is not None and child.poll() is not None:
                break
            self.poll_control_file()
            if self.plug_at is not None and now >= self.plug_at:
                self.plug()
            self.tick(now)
            self.handle_io(min(0.02, max(0.0, self.next_due() - time.monotonic())))

    def close(self):
        if self.closed:
            return
        self.closed = True
        self.control_socket.close()
        if self.plugged():
            if self.link and os.path.islink(self.link) and \
                    os.readlink(self.link) != self.slave_name:
                self.link = None  # another simulator's now
            self.close_pty()
        if self.truth not in (None, sys.stdout):
            self.truth.close()


def add_common_arguments(parser):
    """The options every pty simulator takes."""
    parser.add_argument("--link", help="make this path a symlink to the pty slave")
    parser.add_argument("--wine-com", type=int, metavar="N",
                        help="map COM N of the Wine prefix named by WINEPREFIX to the pty")
    parser.add_argument("--truth", help="JSON-lines record of what was sent ('-': stdout)")
    parser.add_argument("--control-file", help="file whose appended lines are commands")
    parser.add_argument("--control-socket", help="UNIX socket for commands")
    parser.add_argument("--duration", type=float, help="end after this many seconds")


def run_main(sim, args, command, child_env=None):
    """Runs `sim` until --duration, "quit", SIGTERM or the end of COMMAND;
    returns COMMAND's exit code (0 without one). COMMAND gets `child_env`
    (default: SURVEY_SIM_LINK, the pty's path) and the control and truth
    files in its environment. Any simulator with run(child, deadline) and
    close() can be run so."""
    child = None
    rc = 0
    try:
        if command:
            env = dict(os.environ)
            env.update(child_env if child_env is not None else
                       {"SURVEY_SIM_LINK": args.link or sim.slave_name})
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


def child_command(remainder):
    """The COMMAND after "--" of an argparse REMAINDER argument."""
    return remainder[1:] if remainder[:1] == ["--"] else remainder
