#!/usr/bin/env python3
"""Orvanta.exe's start-up update under Wine against the tests' MariaDB
server, through a real client library (libmariadb.dll built from MariaDB's
Connector/C) laid beside the program as on a vehicle PC.

What the program did is read where it lands: rows in the database (read by
the server's own client as root over its socket), the update server's
request log, the message boxes the program recorded, and its window. The
faults a real server cannot make on demand stay with the stand-in client
library's tests (frame_e2e.py).

Environment (set by common/tests/real_client.cmake), besides frame_e2e.py's:
  REAL_CLIENT_DLL, REAL_CLIENT_ORVANTA, REAL_CLIENT_WINPROBE
  SURVEY_PRODUCT_VERSION          the programs' version (a.b.c.d)
  SURVEY_DB_TEST_DIR, SURVEY_DB_TEST_PORT, SURVEY_DB_TEST_PASSWORD,
  SURVEY_DB_SERVER_SCRIPT         the tests' database server and its script
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from frame_e2e import (ENV, WORK, UpdateServerCase, db_commands_reply,  # noqa: E402
                       read, version_list_reply, win_path, wine, wine_env)

WINE_RUN = ENV["SURVEY_WINE_RUN"]
DB_DIR = ENV["SURVEY_DB_TEST_DIR"]
ORVANTA_APP_ID = 106
START_BOUND_S = 90   # the program's start-up under Wine, update included
CLOSE_BOUND_S = 30
# What the service says when the prefix has no receiver for it.
NO_RECEIVER = "Не удается подключить GPS-приемник"


def packed_version(text):
    parts = [int(p) & 0xFFFF for p in text.split(".")]
    return (parts[0] << 48) | (parts[1] << 32) | (parts[2] << 16) | parts[3]


PACKED = packed_version(ENV["SURVEY_PRODUCT_VERSION"])


class Database:
    """The tests' server, as its administrator sees it."""

    def __init__(self):
        self.socket = os.path.join(DB_DIR, "mysqld.sock")

    def available(self):
        return os.path.exists(self.socket)

    def sql(self, text):
        done = subprocess.run(
            ["mariadb", "--no-defaults", "--socket", self.socket, "-uroot", "--batch", "--raw",
             "--skip-column-names", "--default-character-set=utf8mb4", "kalvetradb", "-e", text],
            capture_output=True, timeout=60)
        if done.returncode != 0:
            raise RuntimeError("%s: %s" % (text, done.stderr.decode("utf-8", "replace")))
        return [line.split("\t") for line in done.stdout.decode("utf-8").splitlines()]

    def snapshot(self):
        return {q: self.sql(q) for q in ("SELECT id, name FROM roads ORDER BY id",
                                         "SELECT id, road FROM road_marks ORDER BY id",
                                         "SELECT id, ver, download FROM versions ORDER BY id",
                                         "SELECT COUNT(*) FROM ac_log")}

    def server(self, action):
        done = subprocess.run([ENV["SURVEY_DB_SERVER_SCRIPT"], action, DB_DIR],
                              capture_output=True, timeout=330)
        if done.returncode != 0:
            raise RuntimeError("database server %s: %s" % (action, done.stderr.decode()))


class Program:
    """Orvanta.exe in a folder of its own, with the real client library and
    the stand-in updater beside it."""

    def __init__(self, name):
        self.folder = os.path.join(WORK, name, "program")
        self.logs = os.path.join(WORK, name, "logs")
        for path in (self.folder, self.logs):
            shutil.rmtree(path, ignore_errors=True)
            os.makedirs(path)
        self.exe = os.path.join(self.folder, "Orvanta.exe")
        shutil.copy2(ENV["REAL_CLIENT_ORVANTA"], self.exe)
        shutil.copy2(ENV["REAL_CLIENT_DLL"], os.path.join(self.folder, "libmariadb.dll"))
        shutil.copy2(ENV["FRAME_E2E_RVUPDATE"], os.path.join(self.folder, "rvupdate.exe"))
        self.messages = os.path.join(self.logs, "messages.txt")
        self.output = os.path.join(self.logs, "orvanta.out")
        self.process = None

    def start(self):
        env = wine_env()
        env["SURVEY_MESSAGE_LOG"] = win_path(self.messages)
        env["SURVEY_RVUPDATE_LOG"] = win_path(os.path.join(self.logs, "rvupdate.txt"))
        with open(self.output, "wb") as out:
            self.process = subprocess.Popen([WINE_RUN, self.exe], env=env, cwd=self.logs,
                                            stdin=subprocess.DEVNULL, stdout=out,
                                            stderr=subprocess.STDOUT)

    def probe(self, *argv, timeout=30):
        # No pipes: a Wine process started on the way (the desktop's
        # explorer.exe) inherits them and outlives the probe.
        return subprocess.run([WINE_RUN, ENV["REAL_CLIENT_WINPROBE"], *argv], env=wine_env(),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode

    def came_up(self):
        """True once the main window shows; False when the program ended first."""
        deadline = time.monotonic() + START_BOUND_S
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return False
            if self.probe("wait", "--title-prefix", "Orvanta v", "--timeout", "2000") == 0:
                return True
        return False

    def close(self):
        """Closes the window as an operator would; the exit code."""
        if self.process.poll() is None:
            self.probe("close", "--title-prefix", "Orvanta v", "--wait-gone", "--timeout",
                       "20000", timeout=CLOSE_BOUND_S + 10)
        return self.wait()

    def wait(self, bound=CLOSE_BOUND_S):
        try:
            return self.process.wait(timeout=bound)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=10)
            return None

    def message_texts(self):
        return [line.split("\t")[-1] for line in read(self.messages).splitlines()
                if not line.endswith("\t" + NO_RECEIVER)]

    def report(self):
        return "\nmessages:\n%s\noutput:\n%s" % (read(self.messages), read(self.output)[-2000:])


class RealClientEndToEnd(UpdateServerCase):
    db = Database()

    @classmethod
    def setUpClass(cls):
        if not cls.db.available():
            raise unittest.SkipTest("the tests' database server is not running (no mariadbd)")
        wine("--start")
        super().setUpClass()

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        wine("--stop", check=False)

    def setUp(self):
        super().setUp()
        self.db.sql("SET GLOBAL sql_mode = DEFAULT; SET FOREIGN_KEY_CHECKS=0; "
                    "DROP TABLE IF EXISTS road_marks, roads; SET FOREIGN_KEY_CHECKS=1; "
                    "CREATE TABLE roads (id INT PRIMARY KEY, name VARCHAR(64)) ENGINE=InnoDB "
                    "DEFAULT CHARSET=utf8; "
                    "CREATE TABLE road_marks (id INT PRIMARY KEY, road INT NOT NULL, "
                    "FOREIGN KEY (road) REFERENCES roads(id)) ENGINE=InnoDB; "
                    "INSERT INTO roads VALUES (1, 'М-4'); DELETE FROM ac_log; "
                    "DELETE FROM err_log; UPDATE versions SET ver=7, download='x' WHERE id=1")

    def program(self, name):
        p = Program(name)
        self.addCleanup(lambda: p.process and p.process.poll() is None and p.close())
        return p

    def requests(self, cmd):
        return [r["form"] for r in self.commands(cmd)]

    def test_pending_sets_are_applied_and_reported_then_the_program_runs(self):
        road = "INSERT INTO `roads` VALUES (2, 'Дорога \"Север\" / объезд')"
        orphan = "INSERT INTO `road_marks` VALUES (10, 99)"  # needs the checks off
        self.server.set_scenario({
            "userip": "203.0.113.7",
            "getverlist": {"1": '{"cnt":2,"list":[{"build":8,"cmdcnt":2},'
                                '{"build":9,"cmdcnt":1}]}',
                           str(ORVANTA_APP_ID): version_list_reply(PACKED)},
            "getdbcmd": {"8": db_commands_reply((2, road), (0, orphan)),
                         "9": db_commands_reply((2, "UPDATE `roads` SET `name`='М-4 «Дон»' "
                                                "WHERE `id`=1"))},
        })
        p = self.program("applied")
        p.start()
        self.assertTrue(p.came_up(), p.report())
        self.assertEqual(p.close(), 0, p.report())
        self.assertEqual(p.message_texts(), [], p.report())

        self.assertEqual(self.db.sql("SELECT id, name FROM roads ORDER BY id"),
                         [["1", "М-4 «Дон»"], ["2", 'Дорога "Север" / объезд']])
        self.assertEqual(self.db.sql("SELECT id, road FROM road_marks"), [["10", "99"]])
        self.assertEqual(self.db.sql("SELECT ver FROM versions WHERE id=1"), [["9"]])
        self.assertEqual([(r.get("ver"), r.get("status"), r.get("userip"))
                          for r in self.requests("writelog")],
                         [("8", "OK", "127.0.0.1"), ("9", "OK", "127.0.0.1")])
        # One access row, committed, with what the client library says of
        # the connection.
        rows = self.db.sql("SELECT name, userip, localip, resource, action, app FROM ac_log")
        self.assertEqual(len(rows), 1, rows)
        name, userip, localip, resource, action, app = rows[0]
        self.assertEqual((name, userip, localip, action), ("-", "203.0.113.7", "127.0.0.1",
                                                           "db update"))
        self.assertEqual(resource, "127.0.0.1 via TCP/IP")
        self.assertTrue(app.endswith(" v" + ENV["SURVEY_PRODUCT_VERSION"]), app)
        self.assertEqual(self.db.sql("SELECT COUNT(*) FROM err_log"), [["0"]])
        # The installation check's probe file was made and removed.
        self.assertEqual([n for n in os.listdir(p.folder) if n.endswith(".tmp")], [])

    def test_set_failing_in_its_middle_is_rolled_back_and_the_program_ends(self):
        before = self.db.snapshot()
        self.server.set_scenario({
            "getverlist": {"1": '{"cnt":1,"list":[{"build":8,"cmdcnt":3}]}',
                           str(ORVANTA_APP_ID): version_list_reply(PACKED)},
            "getdbcmd": {"8": db_commands_reply(
                (2, "INSERT INTO `roads` VALUES (3, 'Р-22')"),
                (2, "UPDATE `roads` SET `name`='changed'"),
                (2, "INSERT INTO `road_marks` VALUES (11, 77)"))},  # checks on: refused
        })
        p = self.program("rolled-back")
        p.start()
        self.assertFalse(p.came_up(), p.report())
        self.assertEqual(p.wait(), 1, p.report())
        self.assertEqual(self.db.snapshot(), before)
        self.assertEqual(self.requests("writelog"), [], self.server.requests())
        texts = p.message_texts()
        self.assertEqual(len(texts), 1, p.report())
        self.assertRegex(texts[0], r"^Error 1452: .*foreign key constraint fails.*\\n"
                                   r"Действие не выполнено\.$")

    def stop_server_at(self, cmd, name):
        """Runs the program with an update that needs the database, and stops
        the database server while the update server holds the reply to
        `cmd`. Returns the program once it has ended."""
        release = os.path.join(WORK, name + "-release")
        for stale in (release, release + ".waiting"):
            if os.path.exists(stale):
                os.remove(stale)
        self.server.set_scenario({
            "getverlist": {"1": '{"cnt":1,"list":[{"build":8,"cmdcnt":1}]}',
                           str(ORVANTA_APP_ID): version_list_reply(PACKED)},
            "getdbcmd": {"8": db_commands_reply((2, "INSERT INTO `roads` VALUES (4, 'А-107')"))},
            "hold": {cmd: release},
        })
        p = self.program(name)
        self.addCleanup(self.db.server, "start")
        p.start()
        deadline = time.monotonic() + START_BOUND_S
        while not os.path.exists(release + ".waiting") and time.monotonic() < deadline:
            self.assertIsNone(p.process.poll(), p.report())
            time.sleep(0.1)
        self.assertTrue(os.path.exists(release + ".waiting"), p.report())
        self.db.server("stop")
        open(release, "w").close()
        self.assertEqual(p.wait(START_BOUND_S), 1, p.report())
        self.assertEqual(self.requests("writelog"), [])
        return p

    def test_server_stopped_in_the_middle_of_the_update_ends_the_program(self):
        # The update session was connected when the server went: the loss is
        # not repaired inside the set (a new connection would run it outside
        # its transaction), so it is reported at once and nothing is applied.
        p = self.stop_server_at("getdbcmd", "stopped-in-set")
        texts = p.message_texts()
        self.assertEqual(len(texts), 1, p.report())
        self.assertRegex(texts[0], r"^Error 2013: Lost connection to server during query"
                                   r"\\nДействие не выполнено\.$")

    def test_server_stopped_before_the_update_session_ends_the_program(self):
        # MariaDB's client reports a refused connection as 2002 (MySQL's as
        # 2003, as the stand-in does); neither is one of the losses that are
        # waited for and repaired, so the message comes at once.
        p = self.stop_server_at("getverlist", "stopped-before-set")
        texts = p.message_texts()
        self.assertEqual(len(texts), 1, p.report())
        self.assertRegex(texts[0], r"^Error 2002: Can't connect to server on '127\.0\.0\.1' "
                                   r"\(10061\)\\nДействие не выполнено\.$")

    def test_texts_arrive_unchanged_on_a_server_without_backslash_escapes(self):
        self.db.sql("SET GLOBAL sql_mode = 'NO_BACKSLASH_ESCAPES'")
        self.addCleanup(self.db.sql, "SET GLOBAL sql_mode = DEFAULT")
        address = "198.51.100.4 'q' \\' \\\\ \"d\""
        self.server.set_scenario({
            "userip": address,
            "getverlist": {"1": '{"cnt":1,"list":[{"build":8,"cmdcnt":0}]}',
                           str(ORVANTA_APP_ID): version_list_reply(PACKED)},
        })
        p = self.program("no-backslash")
        p.start()
        self.assertTrue(p.came_up(), p.report())
        self.assertEqual(p.close(), 0, p.report())
        self.assertEqual(p.message_texts(), [], p.report())
        self.assertEqual(self.db.sql("SELECT userip, action FROM ac_log"),
                         [[address, "db update"]])
        self.assertEqual(self.db.sql("SELECT ver FROM versions WHERE id=1"), [["7"]])


def end_on_terminate(signum, frame):
    raise SystemExit(128 + signum)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, end_on_terminate)
    unittest.main(verbosity=2)
