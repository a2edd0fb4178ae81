"""The scenarios of the sensor service's end-to-end checks that a crew meets
when something is in the way: a block's name taken by another program, a
channel file that cannot be opened, the window closed in the middle of a
recording, an odometer converter that falls silent or goes away."""

import os
import time

from e2e_tessarin_base import (CANNOT_LOAD_DRIVER, INDICATOR, ODOMETER_COM, DaqRecord, check,
                               check_channel_files, check_session_ini, parse_data_line,
                               windows_path)
from e2e_tessarin_scenarios import (ALL_SENSORS, RECORDING_DRIVE, SUPPLY_SENSORS, installed,
                                    wait_for)

NO_DATA_TRANSFER = "Не удается организовать передачу данных"
NO_STATE_RECEPTION = "Не удается организовать прием данных"
NO_DAQ_DATA_TRANSFER = "Не удается организовать передачу данных АЦП"
CANNOT_CONNECT_DAQ = "Не удалось подключить АЦП"
DATA_BLOCK = ("MySensorFileMappingObject", "MySensorBufferMutex", "1024")
STATE_BLOCK_NAME = "MyFilesWSMappingObject"


def scenario_close_recording(s):
    """The recorder's block name taken: start-up ends. The data block's name
    taken: the service records without publishing; rightLazer.txt is a
    folder; the window is closed while the recording runs, and every sample
    the driver served up to then is in the other files, whole."""
    installed(s, ALL_SENSORS, files=True, daq_scenario=RECORDING_DRIVE)
    s.hold_name(STATE_BLOCK_NAME)
    s.start()
    s.check_clean_exit(s.wait_exit(60))
    s.close()
    check(s.messages.texts() == [NO_STATE_RECEPTION, CANNOT_CONNECT_DAQ],
          "without the recorder's block start-up ends: %s" % s.messages.texts())
    functions = DaqRecord(s.daq_record).functions()
    check("DAQmxStartTask" in functions and functions[-1] == "DAQmxClearTask",
          "the started acquisition is cleared (%s)" % functions[-3:])
    s.release_names()

    s.messages.path = os.path.join(s.work, "messages-2.log")
    s.env.update(s.messages.env())
    s.daq_record = os.path.join(s.work, "daq-record-2.txt")
    s.env["SURVEY_DAQ_RECORD"] = windows_path(s.daq_record)
    s.hold_name(DATA_BLOCK[0])
    s.start()
    rc, _ = s.probe.window("wait", timeout_ms=60000, timeout=90)
    check(rc == 0, "the service comes up without its data block")
    check(s.messages.wait_for(NO_DAQ_DATA_TRANSFER, 10)
          and s.messages.texts() == [NO_DATA_TRANSFER, NO_DAQ_DATA_TRANSFER],
          "the taken name is reported (%s)" % s.messages.texts())
    rc, _ = s.recorder("read", *DATA_BLOCK, "--open-timeout", "500")
    check(rc == 2, "no data block is offered (%s)" % rc)

    folder = s.recording_folder("закрытие во время записи")
    os.makedirs(os.path.join(folder, "rightLazer.txt"))
    s.start_recording(folder)
    wait_for("the service starts recording (session.ini appears)",
             lambda: os.path.exists(os.path.join(folder, "session.ini")), 10)
    time.sleep(3)
    closing = time.time()
    rc = s.close()
    s.check_clean_exit(rc)

    record = DaqRecord(s.daq_record)
    check(record.summary.get("lost") == "0", "the stand-in lost no sample (%s)" % record.summary)
    # Input 3's file is the folder: nothing of it is written, the rest is.
    sensors = ALL_SENSORS[:3] + [(1, 100, 3)]
    stats = check_channel_files(folder, record, sensors, (s.recording_started, closing),
                                ignore=("rightLazer.txt",))
    last = max(st["last"] for st in stats.values())
    check(last == len(record.samples) - 1,
          "the files end with the last sample the driver served (%d of %d)"
          % (last, len(record.samples) - 1))
    check(os.listdir(os.path.join(folder, "rightLazer.txt")) == [],
          "the folder in the way of rightLazer.txt stays empty")
    check_session_ini(folder, ALL_SENSORS)
    check(s.messages.texts() == [NO_DATA_TRANSFER, NO_DAQ_DATA_TRANSFER],
          "the file that cannot be opened is not reported (%s)" % s.messages.texts())


def scenario_odometer_silent(s):
    """The serial odometer falls silent, talks again, then goes away: the
    service keeps writing the data block, keeps its counters and runs on."""
    installed(s, SUPPLY_SENSORS, files=False, daq=False, ftdi=True)
    s.adapter(ODOMETER_COM)
    s.start_odometer(["--speed", "3.6", "--path-mm", "200", "--rate", "20", "--threshold", "0.1"])
    s.start()
    s.wait_up()

    def counters():
        lines = s.data_lines(1)
        check(len(lines) == 1, "the data block is there")
        return parse_data_line(lines[0])[0]

    def rewritten(what):
        # Something else in the block: the service's next poll overwrites it.
        rc, out = s.recorder("write", *DATA_BLOCK, "x")
        check(rc == 0, "the block takes another text (%s)" % out)
        wait_for(what, lambda: s.data_lines(1)[:1] not in ([], ["x"]), 5)
        return counters()

    wait_for("the odometer counts", lambda: counters()[0] > 3, 20)
    s.odometer.command("silent")
    time.sleep(1.0)
    silent = counters()
    time.sleep(2.0)
    check(rewritten("the block is written while the converter is silent") == silent,
          "the counters stay while the converter is silent (%s)" % silent)
    s.odometer.command("talk")
    wait_for("the counter goes on from where it was",
             lambda: counters()[0] > silent[0] + 2, 20)

    s.odometer.stop()  # the adapter is unplugged: the port's other side is gone
    time.sleep(1.5)
    gone = counters()
    time.sleep(2.0)
    check(rewritten("the block is written after the converter has gone") == gone,
          "the counters stay after the converter has gone (%s)" % gone)
    check(s.process.poll() is None and s.probe.window("wait", timeout_ms=2000)[0] == 0,
          "the service runs on")
    check(s.messages.texts() == [CANNOT_LOAD_DRIVER],
          "nothing is shown but the missing DAQ driver at start (%s)" % s.messages.texts())
    s.check_clean_exit(s.close())


RECOVER_DAQ = "восстанавливать_связь_с_АЦП"
ORANGE = "0x0080FF"  # every row while the device is gone
# The USB-6008 is pulled out at the 9000th read (9 s into the acquisition)
# and listed again 6 s later.
UNPLUG_S = 6.0
UNPLUG = "unplug read=9000 gone_s=%g status=-50405\n" % UNPLUG_S
TRANSFER_ABORTED = "No transfer is in progress because the transfer was aborted by the client"


def indicator_faces(s):
    controls = s.controls()
    return [(controls[INDICATOR + i][2:] or [None])[0] for i in range(4)]


def scenario_daq_recovery(s):
    """The DAQ device is pulled out during a recording and comes back. With
    the recovery option off: the read error's box, and no data from then on.
    With it on: no box, the rows turn orange and the data block keeps its
    counters while the device is gone, the task is set up again once it is
    listed, and the channel files hold every sample served before and after
    the gap, in order, with the gap only where the device was gone."""
    from e2e_tessarin_base import config_xml, recording_losses
    from e2e_tessarin_scenarios import BEAM, MODELS, VEHICLE

    def run(recover, name):
        work = os.path.join(s.work, name)
        os.makedirs(work, exist_ok=True)
        s.device(True)
        vehicle = dict(VEHICLE, **{RECOVER_DAQ: "1"}) if recover else VEHICLE
        s.deploy(config_xml(ALL_SENSORS, files=True, vehicle=vehicle, products=[BEAM],
                            models=MODELS), daq_scenario=RECORDING_DRIVE + UNPLUG)
        s.messages.path = os.path.join(work, "messages.log")
        s.daq_record = os.path.join(work, "daq-record.txt")
        s.env.update(s.messages.env())
        s.env["SURVEY_DAQ_RECORD"] = windows_path(s.daq_record)
        s.start()
        s.wait_up()
        folder = s.recording_folder(name)
        s.start_recording(folder)
        wait_for("the service starts recording (session.ini appears)",
                 lambda: os.path.exists(os.path.join(folder, "session.ini")), 10)

        def seen(kind):
            return [f for f in DaqRecord(s.daq_record).lines if f[0] == kind]

        wait_for("the stand-in's device is pulled out", lambda: seen("unplug"), 30)
        gone = s.data_lines(1)
        check(gone and seen("replug") == [], "the data block is there while the device is gone")
        return folder, seen, parse_data_line(gone[0])[0]

    # Off: the read error's box, as without the option; nothing comes after it.
    folder, seen, gone = run(False, "без восстановления")
    wait_for("the device is listed again", lambda: seen("replug"), UNPLUG_S + 10)
    time.sleep(3)
    check(parse_data_line(s.data_lines(1)[0])[0] == gone,
          "without the option the counters stay after the device is back (%s)" % gone)
    record = DaqRecord(s.daq_record)
    check(record.functions().count("DAQmxStartTask") == 1, "the task is not set up again")
    check(any(line.split("\t")[0] == "Error" and TRANSFER_ABORTED in line
              for line in s.messages.lines()),
          "the read error is shown in the \"Error\" box (%s)" % s.messages.lines())
    s.stop_recording()
    s.check_clean_exit(s.close())

    # On: the device comes back and so does the data, with no box.
    folder, seen, gone = run(True, "с восстановлением")
    time.sleep(1.2)  # a display tick
    faces = indicator_faces(s)
    same = parse_data_line(s.data_lines(1)[0])[0]
    check(seen("replug") == [], "the device is still gone (the gap outlasts the checks)")
    check(faces == [ORANGE] * 4, "every row is orange while the device is gone (%s)" % faces)
    check(same == gone, "the data block keeps its counters meanwhile (%s, %s)" % (gone, same))
    wait_for("the device is listed again", lambda: seen("replug"), UNPLUG_S + 10)
    wait_for("the counters move again", lambda: parse_data_line(s.data_lines(1)[0])[0] != gone,
             10)
    time.sleep(3)
    s.stop_recording()
    time.sleep(2.5)
    faces = indicator_faces(s)
    check(ORANGE not in faces, "the rows leave orange once the device is back (%s)" % faces)
    s.check_clean_exit(s.close())
    check(s.messages.texts() == [], "no box while the device was gone (%s)" % s.messages.texts())

    record = DaqRecord(s.daq_record)
    check(record.functions().count("DAQmxStartTask") >= 2
          and record.functions()[-2:] == ["DAQmxStopTask", "DAQmxClearTask"],
          "the task is set up again and cleared at the end (%s)" % record.functions()[-4:])
    unplug_us = int(seen("unplug")[0][1])
    replug_us = int(seen("replug")[0][1])
    before = [utc for _, utc, _ in record.samples if utc < unplug_us]
    after = [utc for _, utc, _ in record.samples if utc > replug_us]
    check(before and after and len(before) + len(after) == len(record.samples),
          "no sample is served while the device is gone")
    # Every served sample of the recording is in the files, the gap only
    # where the device was gone.
    losses = recording_losses(folder, record, ALL_SENSORS, s.recording_stopped)
    check(losses["lost"] == 0 and losses["largest_gap"] == 1,
          "lines = samples served, none lost across the gap (%s)" % losses)
    stats = check_channel_files(folder, record, ALL_SENSORS,
                                (s.recording_started, s.recording_stopped))
    rows = stats["sensWay.txt"]["rows"]
    steps = [(b[3] - a[3]).total_seconds() for a, b in zip(rows, rows[1:])]
    gap = max(steps)
    at = steps.index(gap)
    check(rows[at][3].timestamp() * 1e6 <= unplug_us + 500000
          and rows[at + 1][3].timestamp() * 1e6 >= replug_us,
          "the only gap in the files is where the device was gone")
    check(sorted(steps)[-2] < 0.5, "no other gap in the files (%.3f s)" % sorted(steps)[-2])
    back_s = (after[0] - replug_us) / 1e6
    check(back_s < 3, "samples flow again %.2f s after the device is listed again" % back_s)
    print("recovery: DAQ %.2f s (device gone %.2f s, samples again %.2f s after it was listed; "
          "%d lines before and %d after the gap in each channel file)"
          % (gap, (replug_us - unplug_us) / 1e6, back_s, at + 1, len(rows) - at - 1), flush=True)
