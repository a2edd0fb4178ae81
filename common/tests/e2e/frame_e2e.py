#!/usr/bin/env python3
"""End-to-end runs of a service program's start-up under Wine.

Each case lays out a folder like an installation -- the frame probe program,
the stand-in "libmysql.dll", the stand-in "rvupdate.exe" -- sets the suite's
registry values in the test prefix, runs the program with the real update
checker against the test update server on 127.0.0.1:443 and reads what
happened from files: the probe's events, the message log, the database
stand-in's statement log, the updater stand-in's command line and the
server's request log. Nothing waits on a window; every wait is bounded.

Environment (set by common/tests/frame_e2e.cmake):
  WINEPREFIX, SURVEY_WINE_RUN     the prefix and scripts/wine-run
  FRAME_E2E_PROBE                 frame_probe.exe (version 10.6.5.1)
  FRAME_E2E_RVUPDATE              the stand-in updater
  FRAME_E2E_LIBMYSQL              the stand-in client library
  FRAME_E2E_SERVER                sim/update-server/update_server.py
  FRAME_E2E_WORK                  a scratch folder of this test
"""
import base64
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import unittest

ENV = os.environ
WORK = os.path.abspath(ENV.get("FRAME_E2E_WORK", "frame_e2e"))
WINE_RUN = ENV.get("SURVEY_WINE_RUN", "")
COMMON_KEY = r"HKCU\Software\Marvesto\Common"
MARVESTO_KEY = r"HKCU\Software\Marvesto"

# The probe's version resource reads "10, 6, 5, 1"; the checker packs it
# into 16-bit fields, major first.
PROBE_PACKED_VERSION = (10 << 48) | (6 << 32) | (5 << 16) | 1
APP_IDS = {"orvanta": 106, "tessarin": 107, "vestrami": 108}

UPDATER_NOT_STARTED = "Не удалось запустить rvupdate.exe."
FOLDER_NOT_WRITABLE = "Проверьте права пользователя на запись в папку где установлена программа."

RUN_BOUND_S = 90  # one program run, Wine start included
UPDATER_BOUND_S = 15  # the updater stand-in writing its line after the program ended


def win_path(path):
    """A Linux path as Wine's Z: drive sees it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def wine_env():
    env = dict(ENV)
    # WinINet under Wine honours these; the test server is reached directly.
    for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                 "ALL_PROXY"):
        env.pop(name, None)
    return env


def wine(*args, check=True):
    result = subprocess.run([WINE_RUN, *args], env=wine_env(), stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=RUN_BOUND_S)
    if check and result.returncode != 0:
        raise RuntimeError("wine %s failed: %s" % (" ".join(args), result.stdout.decode(
            "utf-8", "replace")))
    return result


class UpdateServer:
    """The suite's test update server on 127.0.0.1:443 with a fresh certificate."""

    def __init__(self, folder):
        self.folder = folder
        self.scenario = os.path.join(folder, "scenario.json")
        self.log = os.path.join(folder, "requests.log")
        self.ready = os.path.join(folder, "server.ready")
        self.process = None

    def start(self):
        os.makedirs(self.folder, exist_ok=True)
        cert = os.path.join(self.folder, "cert.pem")
        key = os.path.join(self.folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=localhost", "-keyout", key, "-out", cert],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                       timeout=60)
        for stale in (self.ready, self.log):
            if os.path.exists(stale):
                os.remove(stale)
        self.set_scenario({})
        self.output = open(os.path.join(self.folder, "server.out"), "wb")
        self.process = subprocess.Popen(
            [sys.executable, ENV["FRAME_E2E_SERVER"], "--cert", cert, "--key", key, "--scenario",
             self.scenario, "--log", self.log, "--ready", self.ready, "--lifetime", "600"],
            stdout=self.output, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if os.path.exists(self.ready):
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.1)
        self.stop()
        raise RuntimeError("the update server did not start: " +
                           read(os.path.join(self.folder, "server.out")))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)
        self.process = None

    def set_scenario(self, scenario):
        with open(self.scenario, "w", encoding="utf-8") as f:
            json.dump(scenario, f)

    def clear_log(self):
        open(self.log, "w").close()

    def requests(self):
        out = []
        for line in read(self.log).splitlines():
            try:
                out.append(json.loads(line))
            except ValueError:
                pass
        return out


def version_list_reply(build):
    return json.dumps({"cnt": 1, "list": [{"build": build, "cmdcnt": 0, "order": 1}]},
                      separators=(",", ":"))


def db_commands_reply(*items):
    """A getdbcmd reply: (flags, SQL text) per "db" item, in this order,
    written the way PHP's json_encode writes it: every "/" as "\\/"."""
    out = []
    for order, (flags, sql) in enumerate(items, 1):
        cmd = base64.b64encode(sql.encode("utf-8")).decode("ascii")
        out.append({"order": order, "action": "db", "flags": flags, "len": len(cmd), "cmd": cmd})
    text = json.dumps({"cnt": len(out), "list": out}, separators=(",", ":"), ensure_ascii=False)
    return text.replace("/", "\\/")


def assert_in_order(test, text, parts):
    at = 0
    for part in parts:
        found = text.find(part, at)
        test.assertGreaterEqual(found, 0, "%r missing after offset %d in:\n%s" % (part, at, text))
        at = found + len(part)


class Installation:
    """A program folder with the stand-ins, and the files one run leaves."""

    def __init__(self, name, variant):
        self.variant = variant
        self.folder = os.path.join(WORK, name, "program")
        self.logs = os.path.join(WORK, name, "logs")
        for path in (self.folder, self.logs):
            if os.path.isdir(path):
                # A run cut short may have left it locked.
                subprocess.run(["chattr", "-R", "-i", path], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
                os.chmod(path, 0o755)
                shutil.rmtree(path)
            os.makedirs(path)
        self.exe = os.path.join(self.folder, "frame_probe.exe")
        shutil.copy2(ENV["FRAME_E2E_PROBE"], self.exe)
        shutil.copy2(ENV["FRAME_E2E_RVUPDATE"], os.path.join(self.folder, "rvupdate.exe"))
        shutil.copy2(ENV["FRAME_E2E_LIBMYSQL"], os.path.join(self.folder, "libmysql.dll"))
        # The configuration file of a configured vehicle (the frame opens it).
        with open(os.path.join(self.folder, "Tuvarnex.xml"), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<CONFIGURATION/>\n')
        self.events = os.path.join(self.logs, "events.txt")
        self.messages = os.path.join(self.logs, "messages.txt")
        self.sql_log = os.path.join(self.logs, "sql.txt")
        self.updater_log = os.path.join(self.logs, "rvupdate.txt")
        self.db_script = os.path.join(self.logs, "fake_mysql.txt")
        self.stop_file = os.path.join(self.logs, "stop")
        # The main dialog returns at once: the tests only need to see it run.
        open(self.stop_file, "w").close()

    def database(self, connect="ok", version=None, download=None):
        lines = ["connect=" + connect, "log=" + win_path(self.sql_log)]
        if version is not None:
            lines.append("version=%s" % version)
        if download is not None:
            lines.append("download=" + download)
        with open(self.db_script, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")

    def run(self):
        env = wine_env()
        env.update({
            "FRAME_PROBE_EVENTS": win_path(self.events),
            "FRAME_PROBE_STOP": win_path(self.stop_file),
            "FRAME_PROBE_UPDATE": "real",
            "FRAME_PROBE_WINDOW": "0",
            "SURVEY_MESSAGE_LOG": win_path(self.messages),
            "SURVEY_FAKE_MYSQL": win_path(self.db_script),
            "SURVEY_RVUPDATE_LOG": win_path(self.updater_log),
        })
        result = subprocess.run([WINE_RUN, self.exe, self.variant], env=env, cwd=self.logs,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=RUN_BOUND_S)
        return result.returncode

    def updater_lines(self, wait):
        deadline = time.monotonic() + (UPDATER_BOUND_S if wait else 0)
        while True:
            lines = [l for l in read(self.updater_log).splitlines() if l]
            if lines or time.monotonic() >= deadline:
                return lines
            time.sleep(0.1)

    def report(self):
        return ("\nevents:\n%s\nmessages:\n%s\nsql:\n%s\nupdater:\n%s" %
                (read(self.events), read(self.messages), read(self.sql_log),
                 read(self.updater_log)))


def writable(folder):
    probe = os.path.join(folder, "write-probe.tmp")
    try:
        open(probe, "w").close()
        os.remove(probe)
        return True
    except OSError:
        return False


def make_unwritable(folder):
    """Takes writing away even from root where the system allows it: the
    immutable flag first, else the permission bits (which bind only other
    users). Returns how, or None."""
    if subprocess.run(["chattr", "+i", folder], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode == 0 and not writable(folder):
        return "chattr +i"
    subprocess.run(["chattr", "-i", folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.chmod(folder, 0o555)
    if not writable(folder):
        return "chmod 555"
    return None


class Registry:
    """The suite's keys of the test prefix, saved before and restored after."""

    def __init__(self, folder):
        self.saved = os.path.join(folder, "marvesto-saved.reg")
        self.had_key = False

    def save(self):
        if os.path.exists(self.saved):
            os.remove(self.saved)
        result = wine("reg", "export", MARVESTO_KEY, win_path(self.saved), "/y", check=False)
        self.had_key = result.returncode == 0 and os.path.exists(self.saved)

    def restore(self):
        self.clear()
        if self.had_key:
            wine("reg", "import", win_path(self.saved), check=False)

    def clear(self):
        wine("reg", "delete", MARVESTO_KEY, "/f", check=False)

    def set(self, name, value):
        if isinstance(value, int):
            wine("reg", "add", COMMON_KEY, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")
        else:
            wine("reg", "add", COMMON_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f")


class UpdateServerCase(unittest.TestCase):
    """Cases of a program's start-up: the suite's registry values saved and
    restored around them, the update server running, and each case starting
    from a database server named, an empty request log and no scenario."""
    server = None
    registry = None

    @classmethod
    def setUpClass(cls):
        os.makedirs(WORK, exist_ok=True)
        cls.registry = Registry(WORK)
        cls.registry.save()
        cls.server = UpdateServer(os.path.join(WORK, "server"))
        cls.server.start()

    @classmethod
    def tearDownClass(cls):
        if cls.server:
            cls.server.stop()
        if cls.registry:
            cls.registry.restore()

    def setUp(self):
        self.registry.clear()
        self.registry.set("SqlServer", "127.0.0.1")
        self.server.clear_log()
        self.server.set_scenario({})

    def commands(self, name):
        return [r for r in self.server.requests() if r.get("form", {}).get("cmd") == name]


class FrameEndToEnd(UpdateServerCase):

    def install(self, name, variant):
        inst = Installation(name, variant)
        # The logs stay for a look after the run; the program folder goes, so
        # that no copy (nor the unusable updater of one case) stays among the
        # build's binaries.
        self.addCleanup(shutil.rmtree, inst.folder, True)
        return inst

    def assert_ran(self, inst, code):
        self.assertEqual(code, 0, inst.report())
        # Only the GNSS service reads a Russian version block, as the probe has.
        expected = "dialog version=10.6.5.1\n" if inst.variant == "orvanta" else "dialog version="
        self.assertIn(expected, read(inst.events), inst.report())
        self.assertIn("exit 0 guard-free", read(inst.events), inst.report())
        self.assertEqual(read(inst.messages), "", inst.report())

    def test_newer_build_starts_the_updater_and_the_program_makes_way(self):
        inst = self.install("newer", "vestrami")
        inst.database(version=7, download="kalvetra reference")
        self.server.set_scenario({"getverlist": {
            str(APP_IDS["vestrami"]): version_list_reply(PROBE_PACKED_VERSION + 1)}})
        code = inst.run()
        lines = inst.updater_lines(wait=True)
        expected = ' --appid %d --path "%s\\" --runexe frame_probe.exe' % (
            APP_IDS["vestrami"], win_path(inst.folder))
        self.assertEqual(lines, [expected], inst.report())
        self.assertEqual(code, 1, inst.report())
        self.assertNotIn("dialog", read(inst.events), inst.report())
        self.assertIn("exit 1 guard-free", read(inst.events), inst.report())
        self.assertEqual(read(inst.messages), "", inst.report())
        # The program asked for its own builds with its packed version.
        asks = [r["form"] for r in self.commands("getverlist")
                if r["form"].get("appid") == str(APP_IDS["vestrami"])]
        self.assertEqual(len(asks), 1, self.server.requests())
        self.assertEqual(asks[0].get("ver"), str(PROBE_PACKED_VERSION))
        self.assertEqual(asks[0].get("platform"), "3")
        # The version row was read through the client library stand-in.
        self.assertIn("SELECT `ver`, `download` FROM `versions` WHERE `id`=1", read(inst.sql_log))

    def test_older_listed_build_also_starts_the_updater(self):
        inst = self.install("older", "tessarin")
        inst.database(version=7, download="x")
        self.server.set_scenario({"getverlist": {
            str(APP_IDS["tessarin"]): version_list_reply(PROBE_PACKED_VERSION - 1)}})
        code = inst.run()
        lines = inst.updater_lines(wait=True)
        self.assertEqual(len(lines), 1, inst.report())
        self.assertTrue(lines[0].startswith(" --appid 107 --path "), lines)
        self.assertEqual(code, 1, inst.report())

    def test_equal_build_starts_nothing_and_the_program_runs(self):
        inst = self.install("equal", "orvanta")
        inst.database(version=7, download="x")
        self.server.set_scenario({"getverlist": {
            str(APP_IDS["orvanta"]): version_list_reply(PROBE_PACKED_VERSION)}})
        code = inst.run()
        self.assert_ran(inst, code)
        self.assertEqual(inst.updater_lines(wait=False), [], inst.report())
        asks = [r["form"] for r in self.commands("getverlist")
                if r["form"].get("appid") == str(APP_IDS["orvanta"])]
        self.assertEqual(len(asks), 1, self.server.requests())

    def test_updates_disabled_start_no_updater_and_the_program_runs(self):
        self.registry.set("UpdateEnable", 0)
        inst = self.install("disabled", "orvanta")
        inst.database(version=7, download="x")
        self.server.set_scenario({"getverlist": {
            str(APP_IDS["orvanta"]): version_list_reply(PROBE_PACKED_VERSION + 1)}})
        code = inst.run()
        self.assert_ran(inst, code)
        self.assertEqual(inst.updater_lines(wait=False), [], inst.report())
        self.assertEqual(self.commands("getverlist"), [], self.server.requests())
        # The version query and the address lookup still run at every start.
        self.assertIn("FROM `versions`", read(inst.sql_log), inst.report())
        self.assertEqual([r["path"] for r in self.server.requests()], ["/getuserip.php"])

    def test_unreachable_database_skips_the_update_step(self):
        inst = self.install("nodb", "orvanta")
        inst.database(connect="refuse")
        self.server.set_scenario({"getverlist": {
            str(APP_IDS["orvanta"]): version_list_reply(PROBE_PACKED_VERSION + 1)}})
        code = inst.run()
        self.assert_ran(inst, code)
        self.assertEqual(inst.updater_lines(wait=False), [], inst.report())
        self.assertEqual(self.server.requests(), [])
        sql = read(inst.sql_log)
        self.assertIn("-- connect 127.0.0.1:58431 rvapp@kalvetradb", sql, inst.report())
        self.assertNotIn("SELECT", sql, inst.report())

    def test_database_commands_run_in_one_transaction_before_the_program(self):
        inst = self.install("dbupdate", "orvanta")
        inst.database(version=7, download="x")
        # Its base64 text holds a "/", which the reply carries as "\\/": the
        # statement must still run whole, WHERE clause included.
        road = "UPDATE `roads` SET `name`='Дорога М-4 (проверка)' WHERE `id`=3"
        commands = db_commands_reply((0, road), (2, "DELETE FROM `tmp`;"))
        self.assertIn("\\/", commands)
        self.server.set_scenario({
            "getverlist": {"1": json.dumps({"cnt": 1, "list": [{"build": 8, "cmdcnt": 2}]}),
                           "106": version_list_reply(PROBE_PACKED_VERSION)},
            "getdbcmd": {"8": commands},
        })
        code = inst.run()
        self.assert_ran(inst, code)
        assert_in_order(self, read(inst.sql_log), [
            "SELECT `ver`, `download` FROM `versions` WHERE `id`=1", "-- close",
            "-- connect", "-- server option 0", "-- autocommit 0", "SET completion_type=1",
            "START TRANSACTION", "SET FOREIGN_KEY_CHECKS=0;", road + ";",
            "SET FOREIGN_KEY_CHECKS=1;", "DELETE FROM `tmp`;",
            "UPDATE `versions` SET `ver`=8 WHERE `id`=1;", "-- commit",
            "INSERT INTO `ac_log`"])
        logs = [r["form"] for r in self.commands("writelog")]
        self.assertEqual(len(logs), 1, self.server.requests())
        self.assertEqual((logs[0].get("ver"), logs[0].get("status")), ("8", "OK"))
        self.assertEqual(inst.updater_lines(wait=False), [], inst.report())

    def test_failing_database_command_rolls_back_and_ends_the_program(self):
        inst = self.install("dbfail", "orvanta")
        inst.database(version=7, download="x")
        with open(inst.db_script, "a", encoding="utf-8") as f:
            f.write("fail=DELETE\n")
        self.server.set_scenario({
            "getverlist": {"1": json.dumps({"cnt": 1, "list": [{"build": 8, "cmdcnt": 2}]}),
                           "106": version_list_reply(PROBE_PACKED_VERSION + 1)},
            "getdbcmd": {"8": db_commands_reply((2, "INSERT INTO `t` VALUES (1)"),
                                                (2, "DELETE FROM `t`"))},
        })
        code = inst.run()
        self.assertEqual(code, 1, inst.report())
        sql = read(inst.sql_log)
        assert_in_order(self, sql, ["START TRANSACTION", "INSERT INTO `t` VALUES (1);",
                                    "DELETE FROM `t`;"])
        # Nothing is committed: the transaction is rolled back, or dropped
        # with the connection, which the server takes as a rollback.
        after = sql[sql.index("DELETE FROM `t`;"):].splitlines()[1:]
        self.assertTrue(after and after[-1] == "-- close", sql)
        self.assertEqual([l for l in after if l not in ("-- rollback", "-- close")], [], sql)
        self.assertNotIn("UPDATE `versions`", sql)
        self.assertNotIn("-- commit", sql)
        self.assertEqual(self.commands("writelog"), [], self.server.requests())
        messages = read(inst.messages)
        self.assertIn("Error 1064: ", messages, inst.report())
        self.assertIn("Действие не выполнено.", messages, inst.report())
        self.assertNotIn("dialog", read(inst.events), inst.report())
        # A failed database update stops before the program update.
        self.assertEqual(inst.updater_lines(wait=False), [], inst.report())

    def test_updater_that_cannot_start_is_reported_and_the_program_runs(self):
        inst = self.install("badupdater", "orvanta")
        with open(os.path.join(inst.folder, "rvupdate.exe"), "wb") as f:
            f.write(b"not a program\n")  # present, so the installation check passes
        inst.database(version=7, download="x")
        self.server.set_scenario({"getverlist": {
            str(APP_IDS["orvanta"]): version_list_reply(PROBE_PACKED_VERSION + 1)}})
        code = inst.run()
        messages = read(inst.messages)
        self.assertIn("Ошибка: ", messages, inst.report())
        self.assertIn(UPDATER_NOT_STARTED, messages, inst.report())
        self.assertEqual(code, 0, inst.report())
        self.assertIn("dialog version=10.6.5.1", read(inst.events), inst.report())

    def test_unwritable_program_folder_ends_the_program(self):
        inst = self.install("readonly", "vestrami")
        inst.database(version=7, download="x")
        mode = os.stat(inst.folder).st_mode
        try:
            how = make_unwritable(inst.folder)
            if how is None:
                self.skipTest("cannot make a folder unwritable for this user here: chattr +i "
                              "failed or is ignored, and so is taking the write permission away")
            code = inst.run()
        finally:
            subprocess.run(["chattr", "-i", inst.folder], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            os.chmod(inst.folder, mode)
        self.assertEqual(code, 1, inst.report())
        self.assertIn(FOLDER_NOT_WRITABLE, read(inst.messages), inst.report())
        self.assertNotIn("dialog", read(inst.events), inst.report())
        self.assertIn("exit 1 guard-free", read(inst.events), inst.report())
        self.assertEqual(inst.updater_lines(wait=False), [], inst.report())
        leftovers = [n for n in os.listdir(inst.folder) if n.endswith(".tmp")]
        self.assertEqual(leftovers, [])


def end_on_terminate(signum, frame):
    # Unwind through the finally blocks, so that no folder stays immutable.
    raise SystemExit(128 + signum)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, end_on_terminate)
    unittest.main(verbosity=2)
