"""The scenarios of the sensor service's end-to-end checks that a crew meets
when something is in the way: a block's name taken by another program, a
channel file that cannot be opened, the window closed in the middle of a
recording, an odometer converter that falls silent or goes away."""

import os
import time

from e2e_tessarin_base import (CANNOT_LOAD_DRIVER, ODOMETER_COM, DaqRecord, check,
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
