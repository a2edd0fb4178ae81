#!/usr/bin/env python3
"""End-to-end checks of Tessarin.exe under Wine against the stand-in drivers.

Every scenario lays out an installation (Tessarin.exe, the stand-in
nicaiu.dll and/or ftd2xx.dll beside it, rvupdate.exe, Tuvarnex.xml with a
vehicle and its sensor nodes) in a private Wine prefix where a simulated
USB-6008 is registered with SetupAPI (or not), starts the service with its
message boxes recorded in a file, drives it as the recorder and an operator
would (recorder.exe, winprobe), closes it, and compares what it published,
showed and wrote with what the stand-ins served. Every wait is bounded;
nothing leaves the machine.

  e2e_tessarin.py --scenario NAME --build-dir DIR --source-dir DIR --tessarin EXE
                  --nicaiu DLL --ftd2xx DLL --rvupdate EXE --recorder EXE
                  --winprobe EXE [--ptyshim SO] [--inspect EXE] [--prefix DIR] [--work DIR]
  e2e_tessarin.py --start-prefix | --stop-prefix --build-dir DIR --source-dir DIR
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_tessarin_base import Scenario  # noqa: E402
from e2e_tessarin_failures import (scenario_close_recording, scenario_daq_recovery,  # noqa: E402
                                   scenario_odometer_silent)
from e2e_tessarin_inspect import scenario_inspect  # noqa: E402
from e2e_tessarin_scenarios import SCENARIOS as MAIN_SCENARIOS  # noqa: E402
from e2e_wine import run_scenario_set, scenario_arguments  # noqa: E402

SCENARIOS = dict(MAIN_SCENARIOS, **{"close-recording": scenario_close_recording,
                                    "odometer-silent": scenario_odometer_silent,
                                    "daq-recovery": scenario_daq_recovery,
                                    "inspect": scenario_inspect})


def main():
    args = scenario_arguments(SCENARIOS, ("tessarin", "nicaiu", "ftd2xx", "rvupdate", "recorder",
                                          "winprobe", "ptyshim", "inspect"))
    return run_scenario_set(args, SCENARIOS, Scenario, "e2e-tessarin",
                            lambda s: s.messages.lines())


if __name__ == "__main__":
    sys.exit(main())
