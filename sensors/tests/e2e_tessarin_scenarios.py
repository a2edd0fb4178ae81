"""The scenarios of the sensor service's end-to-end checks (e2e_tessarin.py)."""

import datetime
import os
import time

from e2e_tessarin_base import (BAD_SUPPLY, CANNOT_CONNECT_DAQ, CANNOT_FIND_DAQ, CANNOT_LOAD_DRIVER,
                               CANNOT_WRITE_FILES, CHANNEL_HEADER, COUNTER, DISTANCE, GREEN, GREY,
                               INDICATOR, LEFT_LASER, ODOMETER_COM, RED, RIGHT_LASER, SETTINGS,
                               SETTINGS_NOT_APPLIED, SETTINGS_TITLE, SLOPE, SNAPSHOT, SPEED, VALUE,
                               VOLTAGE, VOLTAGE1, VOLTAGE2, WAY, YELLOW, DaqRecord, Failure,
                               MessageLog, check, check_channel_files, check_session_ini,
                               config_xml, f32, parse_data_line, read_channel_file,
                               samples_with_raw, sensor_nodes, windows_path)

# The vehicle and its measuring equipment, as the configuration tool writes them.
VEHICLE = {"путь_за_один_импульс_в_мм": "0.1", "размер_очереди_уклонов": "20"}
BEAM = {"тип": "балка_поперечного_уклона", "инклинометр___напряжение_нулевого_уклона_в_мВ": "2500",
        "минимальное_расстояние_лазера_в_мм": "200", "превышение_правого_лазера_в_мм": "0",
        "ID_модели": "7"}
MODELS = [
    {"ID": "7", "тип": "балка", "инклинометр-шкала_в_мВ_на_градус": "1000",
     "коэффициент_лазера_в_мВ_на_м": "2000", "напряжение_минимального_расстояния_лазера_в_мВ": "500",
     "расстояние_между_лазерами_в_мм": "1800"},
    # The receiver's supply range, which the second supply input is judged by.
    {"ID": "9", "тип": "гнсс", "минимальное_рабочее_напряжение_в_В": "10",
     "максимальное_рабочее_напряжение_в_В": "14"},
]

def laser_metres(volts):
    """A laser's distance in m by the beam's model: (mV - 500) / 2000 + 200 mm."""
    return (f32(volts) * 1000 - 500) / 2000 + 0.2


# Odometer pulses at 10 Hz (3.6 km/h, 100 mm a pulse), clean 0/5 V edges; the
# other inputs with noise, so that every sample is told apart by its values
# and the change counters move now and then (steps above 0.1 V).
RECORDING_DRIVE = """\
channel ai0 role=odometer kind=square low=0 high=5 speed_kmh=3.6 path_mm=100
channel ai1 role=inclinometer volts=2.6 noise=0.06
channel ai2 role=laser volts=3.2 noise=0.06
channel ai3 role=laser volts=2.9 noise=0.06
"""
# Input 3 is disabled: it still gets its channel file, but no session.ini section.
RECORDING_SENSORS = [(1, 100, WAY), (1, 100, SLOPE), (1, 100, LEFT_LASER), (0, 100, RIGHT_LASER)]
ALL_SENSORS = [(1, 100, WAY), (1, 100, SLOPE), (1, 100, LEFT_LASER), (1, 100, RIGHT_LASER)]
SUPPLY_SENSORS = [(1, 100, WAY), (1, 100, SLOPE), (1, 100, VOLTAGE1), (1, 100, VOLTAGE2)]


def installed(s, sensors, files, daq_scenario=None, daq=True, ftdi=False):
    s.device(True)
    s.deploy(config_xml(sensors, files=files, vehicle=VEHICLE, products=[BEAM], models=MODELS),
             daq=daq, ftdi=ftdi, daq_scenario=daq_scenario)


def wait_for(what, predicate, timeout_s, pause_s=0.2):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(pause_s)
    raise Failure(what)


def record_into(s, folder, seconds):
    """A recording of about `seconds` through MyFilesWSMappingObject: waits
    (bounded) until the service has started it, and after the stop for the
    service's next once-a-second look."""
    s.start_recording(folder)
    wait_for("the service starts recording (session.ini appears)",
             lambda: os.path.exists(os.path.join(folder, "session.ini")), 10)
    time.sleep(seconds)
    s.stop_recording()
    time.sleep(2.5)


def rising_edges(record, channel, first, last):
    """Low-to-high steps of a clean square input among samples first+1..last."""
    edges = 0
    for k in range(first + 1, last + 1):
        if record.value(k - 1, channel) < 2.5 <= record.value(k, channel):
            edges += 1
    return edges


def identify(record, inputs, text, what):
    counters, raw = parse_data_line(text)
    found = samples_with_raw(record, inputs, raw)
    check(len(found) == 1, "%s: the raw voltages %s are those of one served sample (%s)"
          % (what, raw, found[:5]))
    return counters, found[0]


def line_stamp(line):
    """The UTC time (Unix seconds) of a channel file line."""
    clock, date = line.split(",")[3:5]
    return datetime.datetime.strptime(date + clock, "%y%m%d%H%M%S.%f").replace(
        tzinfo=datetime.timezone.utc).timestamp()


def folder_files(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


# --- scenarios -----------------------------------------------------------------

def scenario_daq_record(s):
    """Acquisition from the DAQ stand-in, a recording into a Cyrillic folder
    with a space, the published counters and voltages against the served
    samples, and "-1" for a reader still holding the data block."""
    installed(s, RECORDING_SENSORS, files=True, daq_scenario=RECORDING_DRIVE)
    s.start()
    s.wait_up()
    labels = s.controls()
    check([labels[INDICATOR + i][1] for i in range(3)] == ["путь", "уклон", "левый лазер"],
          "the indicators show the inputs' purposes")

    folder = s.recording_folder("заезд 1")
    s.start_recording(folder)
    wait_for("the service starts recording (session.ini appears)",
             lambda: os.path.exists(os.path.join(folder, "session.ini")), 10)
    # While recording the settings cannot be opened: neither the button nor
    # its command (sent to the window directly) opens them.
    s.probe.window("click", "--id", str(SETTINGS))
    s.probe.window("click", "--id", str(SETTINGS), "--command")
    rc, _ = s.probe.run("wait", "--title", SETTINGS_TITLE, "--timeout", "2500")
    check(rc != 0, "the settings command does nothing while recording")
    published = s.data_lines(3, 700)
    check(len(published) == 3, "the recorder reads the data block three times")
    window = s.controls()
    # The channel files reach the disk at every display tick: while the
    # recording runs each ends with a whole line, at most a tick or two old.
    looks = []
    for _ in range(5):
        time.sleep(0.45)
        now = time.time()
        for name in ("sensWay.txt", "sensSlope.txt", "leftLazer.txt"):
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            last = data[:data.rfind(b"\r\n")].rsplit(b"\r\n", 1)[-1].decode("ascii")
            age = now - line_stamp(last) if last.count(",") == 4 else None
            looks.append((data.endswith(b"\r\n"), age))
    whole = sum(1 for ends, _ in looks if ends)
    fresh = sum(1 for _, age in looks if age is not None and age < 2.5)
    check(whole >= len(looks) - 1 and fresh >= len(looks) - 1,
          "during the recording the channel files end with whole lines (%d of %d looks), "
          "at most a couple of seconds old (%s)" % (whole, len(looks),
                                                   [a and round(a, 2) for _, a in looks]))
    s.stop_recording()
    time.sleep(2.5)

    reader, reader_out = s.spawn_reader(40, 250)
    time.sleep(2)
    rc = s.close()
    s.check_clean_exit(rc)
    try:
        reader.wait(timeout=40)
    except Exception:
        raise Failure("the reader of the data block did not finish")
    with open(reader_out, "rb") as f:
        reads = [line.strip().decode("cp1251", "replace") for line in f.read().splitlines()
                 if line.strip()]
    check(reader.returncode == 0 and reads and reads[-1] == "-1" and reads[0] != "-1",
          "a reader holding the data block reads \"-1\" once the service has closed (%s)"
          % reads[-3:])

    record = DaqRecord(s.daq_record)
    summary = record.summary
    check(summary.get("lost") == "0" and summary.get("read_errors") == "0",
          "the stand-in lost no sample (%s)" % summary)
    stats = check_channel_files(folder, record, RECORDING_SENSORS,
                                (s.recording_started, s.recording_stopped))
    check_session_ini(folder, RECORDING_SENSORS)
    check(folder_files(os.path.dirname(folder)) == ["заезд 1"]
          and "session.ini" not in folder_files(s.install),
          "the files are written into the recording folder only")

    # The data lines: counters and raw voltages of one served sample each,
    # the counters those of the channel files at that sample.
    rows = {st["input"]: st for st in stats.values()}
    previous = None
    for n, text in enumerate(published):
        counters, k = identify(record, [1, 2, 3], text, "data line %d" % (n + 1))
        for i, st in rows.items():
            if st["first"] <= k <= st["last"]:
                row = st["rows"][k - st["first"]]
                if row[0] != counters[i]:
                    raise Failure("data line %d: counter %d of input %d, the file has %d at "
                                  "that sample" % (n + 1, counters[i], i, row[0]))
        if previous is not None:
            edges = rising_edges(record, 0, previous[1], k)
            check(counters[0] - previous[0][0] == edges and edges > 0,
                  "the odometer counter grew by the %d pulses served between two reads" % edges)
        previous = (counters, k)

    # The window: the texts of one display tick agree with each other.
    for i in range(3):
        volts = float(window[VOLTAGE + i][1].split()[0])
        check(window[VOLTAGE + i][1].endswith(" B"), "voltage text %r" % window[VOLTAGE + i][1])
        # The texts are read one after the other: a tick may fall in between,
        # which moves the odometer by a pulse or two and a laser by its noise.
        if i == 0:
            check(0 <= int(window[VALUE][1]) - int(window[COUNTER][1]) <= 3,
                  "the odometer row shows its counter")
        if i == 2:
            metres = float(window[VALUE + 2][1].split()[0])
            check(window[VALUE + 2][1].endswith(" м") and abs(metres - laser_metres(volts)) < 0.035,
                  "the laser row shows its distance (%s for %s)" % (window[VALUE + 2][1], volts))
    check(window[VALUE + 1][1].endswith(" ‰"), "the slope row shows per mille")
    nodes, _ = sensor_nodes(s.config_text())
    check([nodes[i]["назначение"] for i in range(4)] == ["0", "1", "4", "5"]
          and nodes[3]["включение"] == "0", "Tuvarnex.xml keeps the sensor nodes")


def scenario_serial(s):
    """No usable USB-6008 (registered, but no nicaiu.dll): the serial odometer
    behind the FTDI stand-in, on a pty COM port, with lines split at odd bytes."""
    installed(s, SUPPLY_SENSORS, files=True, daq=False, ftdi=True)
    s.adapter(ODOMETER_COM)
    s.start_odometer(["--speed", "3.6", "--path-mm", "200", "--rate", "20", "--threshold", "0.1",
                      "--split", "random"])
    s.start()
    s.wait_up()
    check(s.messages.texts() == [CANNOT_LOAD_DRIVER], "the USB-6008 without NI's driver: \"%s\" "
          "(%s)" % (CANNOT_LOAD_DRIVER, s.messages.texts()))
    fields = s.data_lines(1)[0].split()
    check(len(fields) == 4 and all(f.isdigit() for f in fields),
          "the data line carries the four counters only (%s)" % fields)
    ports = [e for e in s.odometer_events() if e.get("event") == "port"]
    check(any(e["speed"] == 9600 and e["talking"] for e in ports),
          "the service set the converter's port to 9600 bit/s (%s)" % ports)

    # A folder that cannot be entered: the files go into the current folder
    # (the installation), and the stop does not move to its parent.
    missing = s.recording_folder("нет такой папки")
    s.recording_started = time.time()
    rc, lines = s.recorder("sensors", "start", windows_path(missing), "--no-create")
    check(rc == 0, "the recorder asks for a recording into a missing folder (%s)" % lines)
    wait_for("the service records in its current folder",
             lambda: os.path.exists(os.path.join(s.install, "session.ini")), 10)
    s.stop_recording()
    time.sleep(2.5)
    # The next file written into the current directory shows where it is.
    s.probe.window("click", "--id", str(SNAPSHOT))
    wait_for("the snapshot is written",
             lambda: any(os.path.exists(os.path.join(d, "acp.dmp")) for d in (s.install, s.work)),
             10)
    check(os.path.exists(os.path.join(s.install, "acp.dmp"))
          and not os.path.exists(os.path.join(s.work, "acp.dmp")),
          "after the stop the service still works in its folder, not in the parent")
    folder = s.recording_folder("заезд 2")
    record_into(s, folder, 3)
    check(not os.path.exists(os.path.join(s.work, "session.ini"))
          and folder_files(os.path.dirname(folder)) == ["заезд 2"],
          "after a recording in the current folder the next one goes where it is asked to, "
          "and nothing lands in a parent folder")
    for name in ("sensWay.txt", "sensSlope.txt"):
        head, rows = read_channel_file(os.path.join(folder, name))
        check(rows == [], "%s holds the header only in serial mode" % name)
    check_session_ini(folder, SUPPLY_SENSORS)

    s.odometer.command("hold 0.2")  # the vehicle stops
    time.sleep(2.5)
    lines = [e for e in s.odometer_events() if e.get("event") == "line"]
    pulses = lines[-1]["pulses"]
    counters, _ = parse_data_line(s.data_lines(1)[0])
    check(pulses >= 5 and counters[0] == 1 + pulses,
          "the odometer counter is 1 + the %d pulses the converter sent (%d)" % (pulses,
                                                                                counters[0]))
    splits = sum(1 for e in lines if any(c % 2 for c in e["chunks"][:-1]))
    check(splits > 0, "lines came in pieces cut at odd byte counts (%d lines)" % splits)
    time.sleep(1.5)
    window = s.controls()
    count = int(window[COUNTER][1])
    check(count == counters[0], "the window shows the counter")
    check(window[DISTANCE][1] == "%.1f м" % f32(count * f32(0.1))
          and window[SPEED][1] == "0.0 м/c",
          "distance %s and speed %s of a stopped vehicle" % (window[DISTANCE][1],
                                                            window[SPEED][1]))
    with open(s.ftdi_record, encoding="utf-8") as f:
        calls = [line.split("\t")[2:4] for line in f if line.startswith("call")]
    check(calls == [["FT_Open", "0"], ["FT_GetComPortNumber", "0"], ["FT_Close", "0"]],
          "the adapter's COM port came from FT_Open, FT_GetComPortNumber, FT_Close (%s)" % calls)
    s.check_clean_exit(s.close())


def scenario_setup_fails(s):
    """The USB-6008 is there but a DAQmx set-up call fails: the serial
    odometer is tried, then start-up ends with one message."""
    fail = ('fail call=DAQmxCfgSampClkTiming occurrence=1 status=-200077 '
            'text="Requested value is not a supported value for this property."\n')
    installed(s, SUPPLY_SENSORS, files=False, daq_scenario=fail, ftdi=True)
    before = s.config_text()
    s.adapter(ODOMETER_COM)
    s.start_odometer()
    s.start()
    s.check_clean_exit(s.wait_exit(60))
    check(s.messages.texts() == [CANNOT_CONNECT_DAQ], "only \"%s\" is shown (%s)"
          % (CANNOT_CONNECT_DAQ, s.messages.texts()))
    record = DaqRecord(s.daq_record)
    calls = [(name, status) for name, status, _ in record.calls]
    check(calls[:4] == [("DAQmxResetDevice", 0), ("DAQmxCreateTask", 0),
                        ("DAQmxCreateAIVoltageChan", 0), ("DAQmxCfgSampClkTiming", -200077)],
          "the set-up stops at the failing call (%s)" % calls)
    check("DAQmxStartTask" not in record.functions() and record.functions()[-1] == "DAQmxClearTask",
          "the task is never started and is cleared at the end")
    check(os.path.exists(s.ftdi_record), "the serial odometer was tried")
    check(s.config_text() == before, "Tuvarnex.xml is left as it was")


def scenario_no_device(s):
    """Neither a usable USB-6008 nor an adapter: both messages, a clean exit,
    and the configuration left alone; once with no device registered, once
    with the device but without NI's driver."""
    for part, (present, daq) in enumerate([(False, True), (True, False)]):
        s.device(present)
        s.deploy(config_xml(SUPPLY_SENSORS, vehicle=VEHICLE, models=MODELS), daq=daq, ftdi=True)
        if not daq and os.path.exists(os.path.join(s.install, "nicaiu.dll")):
            os.unlink(os.path.join(s.install, "nicaiu.dll"))
        s.messages = MessageLog(os.path.join(s.work, "messages-%d.log" % part))
        s.env.update(s.messages.env())
        s.adapter(None)
        before = s.config_text()
        s.start()
        s.check_clean_exit(s.wait_exit(60))
        what = "device absent" if not present else "no nicaiu.dll"
        # A device whose driver cannot be loaded is told apart from no device.
        expected = ([CANNOT_LOAD_DRIVER] if present else []) + [CANNOT_FIND_DAQ,
                                                                CANNOT_CONNECT_DAQ]
        check(s.messages.texts() == expected,
              "%s: %s (%s)" % (what, expected, s.messages.texts()))
        check(DaqRecord(s.daq_record).calls == [], "%s: no DAQmx call was made" % what)
        check(s.config_text() == before, "%s: Tuvarnex.xml is left as it was" % what)
        s.close()


def scenario_window(s):
    """The rows' texts and colours: an idle input turns yellow after five
    ticks and green at its next change; supply voltages green or red by range."""
    drive = """\
channel ai0 role=odometer kind=square low=0 high=5 speed_kmh=3.6 path_mm=100
channel ai1 role=inclinometer kind=square low=2.5 high=3.0 frequency_hz=0.05 phase=0.5
channel ai2 role=supply kind=square low=6.0 high=12.4 frequency_hz=0.1
channel ai3 role=supply volts=14.5
"""
    installed(s, SUPPLY_SENSORS, files=False, daq_scenario=drive)
    s.start()
    s.wait_up()
    # The display starts after the start-up checks: its first tick fills the texts.
    wait_for("the first display tick", lambda: s.probe.text(VOLTAGE) not in (None, "0.00"), 20)
    print("first display tick %.1f s after the start" % (time.time() - s.started_at), flush=True)
    shots = []
    deadline = time.monotonic() + 26
    while time.monotonic() < deadline:
        c = s.controls()
        shots.append({key: tuple(c[key]) for key in c})
        time.sleep(0.7)

    def face(shot, i):
        return shot[INDICATOR + i][2] if len(shot[INDICATOR + i]) > 2 else None

    def text(shot, control):
        return shot[control][1]

    slope = [(face(x, 1), text(x, COUNTER + 1)) for x in shots]
    # Turning yellow after green: the counter stood still for more than five ticks.
    first_yellow = next((n for n in range(1, len(slope))
                         if slope[n - 1][0] == GREEN and slope[n][0] == YELLOW), None)
    check(first_yellow is not None, "an input whose counter stands still turns yellow (%s)"
          % [f for f, _ in slope])
    green_again = next((n for n in range(first_yellow, len(slope)) if slope[n][0] == GREEN), None)
    check(green_again is not None and int(slope[green_again][1]) == int(slope[first_yellow][1]) + 1,
          "its next change turns it green again")
    mismatched = 0
    seen = set()
    for x in shots:
        pair = (face(x, 2), text(x, VOLTAGE + 2))
        seen.add(pair)
        mismatched += pair not in {(GREEN, "12.400 B"), (RED, " 6.000 B")}
        mismatched += (face(x, 3), text(x, VOLTAGE + 3)) != (RED, "14.500 B")
        mismatched += (text(x, VOLTAGE + 1), text(x, VALUE + 1)) not in {(" 2.500 B", "0 ‰"),
                                                                         (" 3.000 B", "9 ‰")}
        # The distance is read after the counter: a tick in between adds its pulses.
        count = int(text(x, COUNTER))
        metres = float(text(x, DISTANCE).split()[0])
        if not (text(x, DISTANCE).endswith(" м") and
                0 <= round(metres - float("%.1f" % f32(count * f32(0.1))), 1) <= 2.0):
            raise Failure("distance %s for the counter %d at 0.1 m a pulse"
                          % (text(x, DISTANCE), count))
    check({(GREEN, "12.400 B"), (RED, " 6.000 B")} <= seen,
          "the first supply is green at 12.4 V and red at exactly 6.0 V (%s)" % seen)
    # A tick may fall between two reads of one snapshot just when a level
    # changes; more than a couple of those is wrong.
    check(mismatched <= 2, "colours and texts of each tick agree (%d snapshots off)" % mismatched)
    # The value is read a little after the counter: at most one tick's pulses later.
    same = sum(text(x, VALUE) == text(x, COUNTER) for x in shots)
    check(all(0 <= int(text(x, VALUE)) - int(text(x, COUNTER)) <= 30 for x in shots)
          and same >= len(shots) - 3, "the odometer row shows its counter as its value")
    speeds = [float(text(x, SPEED).split()[0]) for x in shots[3:]]
    check(abs(sum(speeds) / len(speeds) - 1.0) < 0.25 and all(text(x, SPEED).endswith(" м/c")
                                                              for x in shots),
          "the speed shows about 1 m/s at 3.6 km/h (%s)" % speeds)
    check(not s.messages.has(BAD_SUPPLY), "no supply warning for 12.4 V at start")
    s.check_clean_exit(s.close())


def scenario_settings(s):
    """The settings dialog driven as an operator would: purposes swapped in
    the lists, toggles, an input switched off; cancelled once, then applied to
    the running acquisition and saved at close."""
    installed(s, SUPPLY_SENSORS, files=False, daq_scenario="channel ai2 role=laser volts=3.2\n")
    s.start()
    s.wait_up()
    check(any(line.split("\t")[1:] == ["error", BAD_SUPPLY] for line in s.messages.lines()),
          "3.2 V on the first supply input: \"%s\" with the error icon" % BAD_SUPPLY)
    probe = s.probe

    def dialog(*argv):
        rc, out = probe.run(*argv, "--title", SETTINGS_TITLE, "--timeout", "10000", timeout=40)
        return rc, out.strip()

    def open_settings():
        probe.window("click", "--id", str(SETTINGS))
        rc, _ = dialog("wait")
        check(rc == 0, "the settings button opens \"%s\"" % SETTINGS_TITLE)

    def texts(ids):
        return [dialog("text", "--id", str(i))[1] for i in ids]

    def gone():
        rc, _ = probe.run("wait", "--title", SETTINGS_TITLE, "--timeout", "0")
        return rc != 0

    lists = [1046, 1047, 1049, 1050]
    open_settings()
    check(texts(lists) == ["пути", "уклона", "напряжение1", "напряжение2"],
          "the purpose lists show the inputs' purposes")
    check(texts([1021, 1027, 1072, 1075, 1079, 1081]) == ["Обычный", "Промилле", "Не записывать",
                                                          "Отключена", "Отключен", "Отключено"],
          "the toggles' labels show their states")
    check(texts([1033, 1034, 1036, 1037]) == ["100"] * 4, "the sensitivities are shown")
    # Cancelled: the way input moves to input 3 in the lists, compensation on.
    check(dialog("select", "--id", "1050", "--index", "0")[1] == "пути", "input 3 gets 'пути'")
    check(texts(lists) == ["напряжение2", "уклона", "напряжение1", "пути"],
          "input 0 takes input 3's former purpose")
    dialog("click", "--id", "1078")
    wait_for("the compensation label changes at once", lambda: texts([1079]) == ["Включён"], 5)
    dialog("click", "--id", "2")
    wait_for("Cancel closes the dialog", gone, 10)
    window = s.controls()
    check([window[INDICATOR + i][1] for i in range(4)] == ["путь", "уклон", "напряжение1",
                                                        "напряжение2"],
          "cancelling leaves the purposes as they were")

    open_settings()
    check(texts(lists) == ["пути", "уклона", "напряжение1", "напряжение2"]
          and texts([1079]) == ["Включён"], "the dialog reopens with the cancelled purposes "
          "undone and the compensation toggled at once kept")
    check(dialog("select", "--id", "1046", "--index", "1")[1] == "уклона", "input 0 gets 'уклона'")
    check(texts(lists[:2]) == ["уклона", "пути"], "input 1 takes input 0's former purpose")
    check(dialog("select", "--id", "1049", "--index", "4")[1] == "левый лазер",
          "input 2 gets 'левый лазер'")
    dialog("click", "--id", "1071")
    dialog("click", "--id", "1026")
    dialog("click", "--id", "1048")
    dialog("click", "--id", "1080")
    wait_for("the toggles' labels change", lambda: texts([1072, 1027, 1081]) == [
        "Записывать", "Градусы", "Включено"], 5)
    dialog("click", "--id", "1")
    wait_for("Применить closes the dialog", gone, 10)

    time.sleep(2.5)
    window = s.controls()
    check([window[INDICATOR + i][1] for i in range(3)] == ["уклон", "путь", "левый лазер"],
          "the indicators show the swapped purposes")
    check(window[INDICATOR + 3][2:] == [GREY], "the switched-off input's indicator is grey")
    check(window[VALUE][1] in ("-2.5 °", "2.5 °"),
          "input 0 (0 or 5 V) is converted as a slope in degrees (%s)" % window[VALUE][1])
    check(window[VALUE + 1][1] == window[COUNTER + 1][1], "input 1 is the odometer row")
    counters, raw = parse_data_line(s.data_lines(1)[0])
    check(raw[0] in ("0.000000", "5.000000") and abs(float(raw[1]) - 3.2) < 1e-6
          and raw[2] == "-1000.000000",
          "the data line publishes input 0 as the slope and input 2 as the left laser (%s)" % raw)

    # A recording starts while the dialog is open: confirming then changes
    # nothing, and the operator is told so.
    open_settings()
    folder = s.recording_folder("во время настроек")
    s.start_recording(folder)
    wait_for("the service starts recording with the dialog open",
             lambda: os.path.exists(os.path.join(folder, "session.ini")), 10)
    check(dialog("select", "--id", "1049", "--index", "5")[1] == "правый лазер",
          "input 2 gets 'правый лазер' in the dialog")
    dialog("click", "--id", "1")
    wait_for("Применить closes the dialog", gone, 10)
    check(s.messages.wait_for(SETTINGS_NOT_APPLIED, 5),
          "confirmed during a recording: \"%s\"" % SETTINGS_NOT_APPLIED)
    time.sleep(1.5)
    window = s.controls()
    counters, raw = parse_data_line(s.data_lines(1)[0])
    check([window[INDICATOR + i][1] for i in range(3)] == ["уклон", "путь", "левый лазер"]
          and abs(float(raw[1]) - 3.2) < 1e-6 and raw[2] == "-1000.000000",
          "the recording keeps its channel assignment: labels and data line unchanged (%s)" % raw)
    s.stop_recording()
    time.sleep(2.5)
    check_session_ini(folder, [(1, 100, SLOPE), (1, 100, WAY), (1, 100, LEFT_LASER),
                               (0, 100, VOLTAGE2)])
    s.check_clean_exit(s.close())
    nodes, root = sensor_nodes(s.config_text())
    check([nodes[i]["назначение"] for i in range(4)] == ["1", "0", "4", "3"]
          and [nodes[i]["включение"] for i in range(4)] == ["1", "1", "1", "0"],
          "Tuvarnex.xml holds the new purposes and the switched-off input (%s)" % nodes)
    files = root.find("Записывать_отладочные_файлы")
    check(files is not None and files.get("да_если_1") == "1", "and the files option")
    vehicle = root.find("Авто0")
    check(vehicle.get("восстанавливать_связь_с_АЦП") == "1", "and the device recovery option")


def scenario_write_fails(s):
    """A channel file that cannot be written (its name leads to a full
    device): the operator is told once, in a box of its own, and the
    recording goes on with the other files."""
    installed(s, RECORDING_SENSORS, files=True, daq_scenario=RECORDING_DRIVE)
    s.start()
    s.wait_up()
    folder = s.recording_folder("полный диск")
    os.makedirs(folder)
    os.symlink("/dev/full", os.path.join(folder, "sensWay.txt"))
    record_into(s, folder, 4)
    shown = [line.split("\t") for line in s.messages.lines()]
    check(shown == [["", "error", CANNOT_WRITE_FILES]],
          "one \"%s\" for the whole recording (%s)" % (CANNOT_WRITE_FILES, shown))
    for name in ("sensSlope.txt", "leftLazer.txt", "rightLazer.txt"):
        head, rows = read_channel_file(os.path.join(folder, name))
        check(head == CHANNEL_HEADER and len(rows) >= 3000,
              "%s is written all the same (%d lines)" % (name, len(rows)))
    check_session_ini(folder, RECORDING_SENSORS)
    check(len(s.data_lines(1)) == 1, "the service runs on")
    s.check_clean_exit(s.close())


def scenario_read_error(s):
    """A read error's box is up (a real box, on the driver's thread) when the
    window is closed: the service ends within a few seconds all the same."""
    fail = ('read_error read=2500 count=1 status=-200279 '
            'text="Attempted to read samples that are no longer available."\n')
    installed(s, RECORDING_SENSORS, files=False, daq_scenario=RECORDING_DRIVE + fail)
    s.env.pop("SURVEY_MESSAGE_LOG", None)
    s.start()
    s.wait_up()

    def error_box():
        rc, out = s.probe.run("boxes", "--title", "Error")
        return rc == 0 and "no longer available" in out

    wait_for("the read error's box is shown", error_box, 30)
    rc, _ = s.probe.window("close", timeout_ms=5000, timeout=20)
    check(rc == 0, "the window takes WM_CLOSE")
    closed = time.monotonic()
    rc = s.wait_exit(20)
    took = time.monotonic() - closed
    check(rc is not None and took < 5, "the service ends %.1f s after the close" % took)
    check(rc == 0, "with exit code 0 (%s)" % rc)


def scenario_measure(s):
    """At least 30 s of recording at 1000 samples a second: every sample in
    the channel files, none lost, none twice. The gap figures are measured
    from the files against the stand-in's record, so a loss shows in them."""
    from e2e_tessarin_base import recording_losses
    seconds = 31
    installed(s, ALL_SENSORS, files=True, daq_scenario=RECORDING_DRIVE)
    s.start()
    s.wait_up()
    folder = s.recording_folder("замер 30 с")
    record_into(s, folder, seconds)
    s.check_clean_exit(s.close())
    record = DaqRecord(s.daq_record)
    summary = record.summary
    gaps = recording_losses(folder, record, ALL_SENSORS, s.recording_stopped)
    print("measurement: %d lines in each channel file = samples %d..%d; largest gap between "
          "lines: %d sample(s); lost: %d (%d between the lines, %d after the last one); driver: "
          "buffer %s scans, served %s, lost %s, overflows %d, callbacks late by up to %.1f ms (%s "
          "later than 10 ms)"
          % (gaps["lines"], gaps["first"], gaps["last"], gaps["largest_gap"], gaps["lost"],
             gaps["lost_between"], gaps["lost_after"], summary.get("buffer"),
             summary.get("served"), summary.get("lost"), gaps["overflows"],
             int(summary.get("max_late_us", 0)) / 1000, summary.get("late_10ms")), flush=True)
    check(gaps["lost"] == 0 and gaps["largest_gap"] == 1 and gaps["overflows"] == 0
          and summary.get("lost") == "0", "no sample was lost")
    stats = check_channel_files(folder, record, ALL_SENSORS,
                                (s.recording_started, s.recording_stopped))
    st = stats["sensWay.txt"]
    duration = (st["last_stamp"] - st["first_stamp"]).total_seconds()
    check(duration >= 30, "the recording covers at least 30 s (%.1f s)" % duration)
    print("measurement: recording of %.1f s; largest gap between stamps %.1f ms"
          % (duration, max(x["largest_stamp_gap_ms"] for x in stats.values())), flush=True)


SCENARIOS = {
    "daq-record": scenario_daq_record,
    "serial": scenario_serial,
    "setup-fails": scenario_setup_fails,
    "no-device": scenario_no_device,
    "window": scenario_window,
    "settings": scenario_settings,
    "measure": scenario_measure,
    "write-fails": scenario_write_fails,
    "read-error": scenario_read_error,
}
