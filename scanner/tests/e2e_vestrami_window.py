"""The scenarios of Vestrami.exe that look at its windows: the bring-up of two
scanners in both output layouts with the window and its screenshot, and the
settings dialog driven as an operator drives it."""

import re

from e2e_vestrami_base import *  # noqa: F401,F403

START_TELEGRAMS = ["sMN SetAccessMode 03 5C0B19E2",
                   "sWN LMDscandatacfg 01 00 1 1 0 00 00 0 0 0 0 1",
                   "sWN LMDscandatacfg 0   0 1 0 0  1  0 0 0 0 0 +1",
                   "sMN Run", "sMN LMCstartmeas"]
POLL = "sRN LMDscandata"
STATUS_POLL = "sRN STlms"

# Colours of the profile display (0..255): the background, slot 0's profile
# (black) and slot 1's (dark blue).
BACKGROUND = (204, 204, 204)


def start_telegrams(received):
    """The telegrams up to the first scan poll, the status polls counted."""
    head = received[:received.index(POLL)] if POLL in received else received
    polls = head.count(STATUS_POLL)
    return [t for t in head if t != STATUS_POLL], polls


def read_ppm(path):
    """(width, height, RGB bytes) of an image, through ImageMagick."""
    data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True,
                          timeout=60, stdin=subprocess.DEVNULL).stdout
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6":
        raise Failure("the screenshot does not convert")
    return int(fields[1]), int(fields[2]), data[at + 1:]


def profile_rows(path):
    """For the display's area of the screenshot (where its background colour
    is): the most pixels one row has of slot 0's colour (dark grey to black)
    and of slot 1's (blue), in the upper half (the ceilings) and the lower
    half (the roads) of that area."""
    w, h, rgb = read_ppm(path)
    area = None  # left, top, right, bottom
    for y in range(h):
        row = rgb[y * w * 3:(y + 1) * w * 3]
        xs = [x // 3 for x in range(0, len(row), 3) if tuple(row[x:x + 3]) == BACKGROUND]
        if len(xs) > 200:
            left, top, right, bottom = area or (xs[0], y, xs[-1], y)
            area = (min(left, xs[0]), top, max(right, xs[-1]), y)
    if area is None:
        raise Failure("no profile display in the screenshot")
    left, top, right, bottom = area
    counts = {"black": [0, 0], "blue": [0, 0]}
    middle = (top + bottom) // 2
    for y in range(top, bottom + 1):
        black = blue = 0
        row = rgb[(y * w + left) * 3:(y * w + right + 1) * 3]
        for x in range(0, len(row), 3):
            r, g, b = row[x], row[x + 1], row[x + 2]
            if abs(r - g) < 12 and abs(g - b) < 12 and r < 150:
                black += 1
            elif abs(r - g) < 12 and b > r + 60:
                blue += 1
        half = 0 if y < middle else 1
        counts["black"][half] = max(counts["black"][half], black)
        counts["blue"][half] = max(counts["blue"][half], blue)
    return counts, area


# --- bring-up, the window and its screenshot ---------------------------------------------

def scenario_bring_up(s):
    # Item 0 is stored as not connected: it is brought up all the same.
    # Scanner 1's clearance sector differs, so that the display shows both.
    items = default_items()
    items[2]["начальный_угол_верхнего_габарита"] = -20.0
    items[2]["конечный_угол_верхнего_габарита"] = 5.0
    up(s, items=items)
    truth = s.truth.update()
    # Scanner 0 took the first output configuration, scanner 1 the second.
    for k, layout, bits in ((0, 1, 16), (1, 2, 8)):
        sent, polls = start_telegrams(truth.received(k))
        want = START_TELEGRAMS[:2] + START_TELEGRAMS[3:] if k == 0 else START_TELEGRAMS
        check(sent == want, "scanner %d got the start sequence %s" % (k, sent))
        check(polls >= 4, "scanner %d was asked for its state until it measured (%d polls)"
              % (k, polls))
        scans = truth.scans[k]
        check({(x.layout, x.bits) for x in scans} == {(layout, bits)},
              "scanner %d sends its scans in layout %d with %d-bit remission" % (k, layout, bits))
    refusals = [e for e in truth.of("reply", 1) if e["text"].startswith("sFA")]
    check(len(refusals) == 1, "scanner 1 refused the first configuration")
    check(s.item(0)["подключен"] == "1" and s.item(2)["подключен"] == "1",
          "both scanner items are marked connected in Tuvarnex.xml")

    # The window.
    title = s.probe.window("wait")[1].strip()
    check(re.match(r"^Vestrami v\d+\.\d+\.\d+\.\d+$", title) is not None,
          "the title names the version (%r)" % title)
    table = s.controls()
    row = {i: table.get(i, ["", "", ""]) for i in (1004, 1024, 1035, 1010, 1011)}
    check(row[1004][1:3] == ["Параметры", "0x00FFFF"], "settings button: Параметры, yellow (%s)"
          % row[1004][1:])
    check(row[1024][1:3] == ["Окно 0.0, -0.0   10.0х10.0 м", "0x00FF00"],
          "view button: the view window, green (%s)" % row[1024][1:])
    check(row[1035][1] == "Сканер1", "the scanner choice shows Сканер1")
    check(row[1010][1] == "1600" and row[1011][1] == "0.0",
          "base distance 1600 and the angle of scanner 1 (%s, %s)" % (row[1010][1], row[1011][1]))

    # The screenshot: both profiles (ceiling and road of each) on the display.
    time.sleep(1.0)  # the display is drawn every 900 ms
    shot = s.screenshot("vestrami-window.png")
    counts, area = profile_rows(shot)
    print("display rows %s: most profile pixels in a row %s" % (area, counts), flush=True)
    check(all(v >= 150 for v in counts["black"] + counts["blue"]),
          "the screenshot shows both profiles, ceiling and road")

    # A short recording: both layouts are read value for value.
    run, run_win = folder(s, "записи", "заезд 1")
    s.scanner_command("start", run_win)
    for i in range(3):
        s.scanner_command("log", "%d.5" % i, "2.25", "-3")
        time.sleep(0.2)
    s.scanner_command("stop")
    for k in (0, 1):
        lines = check_log(truth, k, logs_in(run)[k], "scanner%d.log" % k,
                          [(i + 0.5, 2.25, -3.0) for i in range(3)])
        n = lines[0].count
        remissions = array.array("l")
        remissions.frombytes(lines[0].values)
        check(n == 1081 and (max(remissions[n:]) > 255) == (k == 0),
              "scanner %d: 1081 points, %s remission" % (k, "16-bit" if k == 0 else "8-bit"))

    check(s.close_service(), "Vestrami closes on WM_CLOSE")


# --- the settings dialog ------------------------------------------------------------------------

def wait_settings_gone(s, timeout_s=20):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        rc, out = s.probe.run("list", "--title", SETTINGS_TITLE)
        if rc == 0 and not out.strip():
            return True
        time.sleep(0.3)
    return False


def open_settings(s):
    s.probe.window("click", "--id", "1004")
    rc, _ = s.settings_probe.window("wait", timeout_ms=15000)
    check(rc == 0, "'Параметры' opens the settings dialog")
    return s.settings_probe.controls()


def set_field(s, control_id, value):
    rc, out = s.settings_probe.window("set-text", "--id", str(control_id), "--value", value)
    check(rc == 0, "field %d takes %r (%s)" % (control_id, value, out.strip()))


def scenario_settings(s):
    # Scanner 2 is configured at an address where nothing answers: it does
    # not start, and the operator puts the right address in.
    s.deploy(default_items(addresses=(ADDRESSES[0], UNUSED_ADDRESS)))
    s.start_sim(*SCENE)
    s.start_service(scanners=(0,))
    check(s.messages.wait_for("Сканер2 не включается", 20) and s.messages.has("check failure"),
          "the failed start is reported: the connection, then the scanner")
    s.wait_block(STATUS_BLOCK, "1\n", 10000, "the status block says 1 with scanner 1 alone")

    table = open_settings(s)

    def text(i):
        return table.get(i, ["", ""])[1]

    shown = {i: text(i) for i in (1008, 1009, 1010, 1011, 1012, 1015, 1013, 1018, 1016, 1020,
                                  1019, 1014)}
    check(shown == {1008: ADDRESSES[0], 1009: UNUSED_ADDRESS, 1010: "2111", 1011: "2111",
                    1012: "0.0", 1015: "10.0", 1013: "-10.0", 1018: "10.0", 1016: "-10.0",
                    1020: "10.0", 1019: "400", 1014: "1390"},
          "the dialog shows both slots, port 2111 for both (%s)" % shown)
    ticks = [s.settings_probe.window("check", "--id", str(i))[1].strip() for i in (1006, 1007)]
    check(ticks == ["1", "0"], "Сканер1 is ticked, Сканер2 is not (%s)" % ticks)

    # Cancel changes nothing and does not reconnect.
    before = s.sim_time()
    s.settings_probe.window("click", "--id", "2")
    check(wait_settings_gone(s), "'Отмена' closes the dialog")
    time.sleep(1.5)
    check(not s.truth.update().of("connect", since=before), "no reconnection after 'Отмена'")

    # The recorder starts a recording while the dialog is open: what the
    # operator then confirms is not applied, and the service says so.
    run, run_win = folder(s, "записи", "во время установок")
    open_settings(s)
    s.scanner_command("start", run_win)
    set_field(s, 1012, "33")
    before = s.sim_time()
    s.settings_probe.window("click", "--id", "1")
    check(wait_settings_gone(s), "'Запомнить' closes the dialog during the recording")
    check(s.messages.wait_for("Идет запись: настройки не применены", 10),
          "the operator is told that the settings are not applied")
    s.scanner_command("log", "1", "2", "3")
    time.sleep(1.0)
    s.scanner_command("stop")
    s.truth.update()
    check(not s.truth.of("connect", since=before), "no reconnection during the recording")
    check(s.item(0)["угол_поворота_в_поперечной_плоскости_в_град"] == "0"
          and s.probe.text(1011) == "0.0", "the angle of scanner 1 stays 0")
    check_log(s.truth, 0, logs_in(run)[0], "scanner0.log of that recording", [(1.0, 2.0, 3.0)])

    open_settings(s)
    rc, out = s.settings_probe.window("check", "--id", "1007", "--value", "1")
    check(rc == 0 and out.strip() == "1", "the operator ticks Сканер2")
    for control_id, value in ((1009, ADDRESSES[1]), (1012, "12.5"), (1013, "-12.5"),
                              (1018, "7.25"), (1016, "-20"), (1020, "20.5"), (1019, "420"),
                              (1014, "1400")):
        set_field(s, control_id, value)
    rc, out = s.settings_probe.window("text", "--id", "1009")
    check(out.strip() == ADDRESSES[1], "the address control shows %s" % out.strip())
    before = s.sim_time()
    s.settings_probe.window("click", "--id", "1")
    check(wait_settings_gone(s), "'Запомнить' closes the dialog")
    for k in (0, 1):
        s.wait_scans(k, 5, 30, "scanner %d is brought up again and scanned" % k, since=before)
    s.truth.update()
    check(all(s.truth.of("connect", k, since=before) for k in (0, 1)),
          "the service reconnected to both scanners")
    check("sMN LMCstopmeas" in s.truth.received(0, since=before),
          "the old connection to scanner 1 was stopped first")
    s.wait_block(STATUS_BLOCK, "1\n", 10000, "the status block says 1 with both scanners")
    check(s.probe.text(1011) == "12.5", "the main window shows the new angle of scanner 1")

    config = s.config_text()
    item0, item2 = s.item(0), s.item(2)
    # The main window's angle field shows the chosen scanner's new angle, and
    # its change stores the angle in whole degrees: 12.5 is kept as 12.
    want0 = {"IP": ADDRESSES[0], "угол_поворота_в_поперечной_плоскости_в_град": "12",
             "начальный_угол_верхнего_габарита": "-12.5",
             "конечный_угол_верхнего_габарита": "7.25",
             "инклинометр___напряжение_нулевого_уклона_в_мВ": "1400", "подключен": "1"}
    want2 = {"IP": ADDRESSES[1], "угол_поворота_в_поперечной_плоскости_в_град": "10",
             "начальный_угол_верхнего_габарита": "-20",
             "конечный_угол_верхнего_габарита": "20.5",
             "инклинометр___напряжение_нулевого_уклона_в_мВ": "1400", "подключен": "1"}
    for item, want, name in ((item0, want0, "Изделие0"), (item2, want2, "Изделие2")):
        got = {k: item.get(k) for k in want}
        check(got == want, "Tuvarnex.xml keeps the new values of %s (%s)" % (name, got))
    model = xml_attributes(config, "Модель1")
    check(model.get("инклинометр-шкала_в_мВ_на_градус") == "420", "the model keeps scale 420")
    check(re.search(r'="-?\d+,\d+"', config) is None,
          "every number in Tuvarnex.xml has a decimal point, not a comma")
    check(s.close_service(), "Vestrami closes on WM_CLOSE")
    check(s.item(0)["подключен"] == "0" and s.item(2)["подключен"] == "0",
          "closing marks both items not connected")
