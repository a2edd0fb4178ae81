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
                  --winprobe EXE [--ptyshim SO] [--prefix DIR] [--work DIR]
  e2e_tessarin.py --start-prefix | --stop-prefix --build-dir DIR --source-dir DIR
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_tessarin_base import Failure, Scenario, Wine  # noqa: E402
from e2e_tessarin_scenarios import SCENARIOS  # noqa: E402


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--scenario", choices=sorted(SCENARIOS))
    p.add_argument("--source-dir", required=True)
    p.add_argument("--build-dir")
    for tool in ("tessarin", "nicaiu", "ftd2xx", "rvupdate", "recorder", "winprobe", "ptyshim"):
        p.add_argument("--" + tool)
    p.add_argument("--prefix")
    p.add_argument("--work")
    p.add_argument("--start-prefix", action="store_true")
    p.add_argument("--stop-prefix", action="store_true")
    args = p.parse_args()
    if args.work is None:
        args.work = os.path.join(args.build_dir, "e2e-tessarin")
    if args.prefix is None:
        args.prefix = os.path.join(args.work, "wineprefix")
    wine = Wine(args)
    if args.stop_prefix:
        wine.stop()
        return 0
    if args.start_prefix:
        os.makedirs(args.work, exist_ok=True)
        wine.start()
        return 0
    s = Scenario(args, wine)
    try:
        SCENARIOS[args.scenario](s)
    except Failure as e:
        print("FAILED:", e, flush=True)
        print("messages:", s.messages.lines(), flush=True)
        return 1
    finally:
        s.cleanup()
    print("scenario %s passed" % args.scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
