#!/usr/bin/env python3
"""Times whole runs of kestrum.exe under Wine against the durable floor: a
small program of ours that makes the same platform calls and writes each
record's text with one WriteFile to a log file and one to standard output,
the least a run can cost when every record must be on disk as it is written.

Runs are paired (kestrum, floor, kestrum, floor, ...) so that whatever else
the machine is doing weighs on both alike; medians are reported, with the
peak memory of each program: the peak resident size of the largest process
of its runs, for kestrum the worker's, not the watcher's. Wine starts a
program's child process detached (its parent is gone before it runs), so
this script makes itself the child subreaper and reaps the worker too.
(Wine 8's job accounting reports PeakProcessMemoryUsed as 0.) Standard
output goes to /dev/null.

A measurement to read, not a test: nothing here passes or fails. Run it after
scripts/test.sh or scripts/run.sh has built everything:

    python3 scripts/bench-assemblies.py [RUNS] [--also OTHER_KESTRUM_EXE]

--also times another build of kestrum.exe in the same pairs, for a before and
after from one run.

Each round also times the floor run in two processes (two_process_floor.exe,
a parent importing only the base libraries that starts durable_floor.exe as
kestrum.exe starts its worker, and waits): the least a run with a watcher
outside the add-in's process can cost here. Under Wine every process pays its
own start-up (tens of milliseconds, a time-zone lookup among it), so at 50
assemblies this alone is a large part of the floor.
"""

import ctypes
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
from kestrum_run import (BUILD, EXE, PREFIX, ROOT, new_workdir, register_addin, wine_command,  # noqa: E402
                         wine_environment)

FLOOR = BUILD / "tests" / "fixtures" / "durable_floor" / "durable_floor.exe"
TWO_PROCESS_FLOOR = FLOOR.with_name("two_process_floor.exe")
# 50 is about what a real add-in brings: there the fixed cost of a run shows.
SCENARIOS = {50: "fifty_assemblies_already_loaded", 20000: "many_assemblies_already_loaded", 200000: "very_many_assemblies_already_loaded"}
PR_SET_CHILD_SUBREAPER = 36


def timed_run(exe, scenario):
    """Seconds of one run of |exe|, and the peak resident memory (KiB) of its largest process."""
    workdir = new_workdir()
    env = wine_environment({"KESTRUM_STAND_IN_SCENARIO": scenario})
    started = time.perf_counter()
    with open(os.devnull, "wb") as sink:
        process = subprocess.Popen(wine_command(exe), cwd=workdir, env=env, stdin=subprocess.DEVNULL,
                                   stdout=sink, stderr=subprocess.DEVNULL)
        # Every process of the run ends before the one started here does: the
        # watcher ends its worker. Each is reaped here, with its peak.
        peak = 0
        while True:
            reaped, status, usage = os.wait4(-1, 0)
            peak = max(peak, usage.ru_maxrss)
            if reaped == process.pid:
                process.returncode = os.waitstatus_to_exitcode(status)
                break
    elapsed = time.perf_counter() - started
    subprocess.run(["rm", "-rf", str(workdir)], check=False)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{exe.name} with {scenario} exited with {os.waitstatus_to_exitcode(status)}")
    return elapsed, peak


def main():
    arguments = sys.argv[1:]
    other = None
    if "--also" in arguments:
        at = arguments.index("--also")
        other = Path(arguments[at + 1]).resolve()
        del arguments[at:at + 2]
    runs = int(arguments[0]) if arguments else 5
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        sys.exit("cannot become the child subreaper: the worker's peak memory would be lost")
    programs = {"kestrum": EXE, "floor": FLOOR, "two_process_floor": TWO_PROCESS_FLOOR}
    if other:
        programs["other"] = other
    subprocess.run(["bash", str(ROOT / "scripts" / "prepare-prefix.sh"), str(BUILD)], check=True,
                   stdout=subprocess.DEVNULL)
    register_addin("working")
    results = {}
    try:
        for assemblies, scenario in SCENARIOS.items():
            samples = {name: [] for name in programs}
            for _ in range(runs):
                for name, exe in programs.items():
                    samples[name].append(timed_run(exe, scenario))
            results[assemblies] = {name: (statistics.median(s for s, _ in runs_), max(m for _, m in runs_))
                                   for name, runs_ in samples.items()}
    finally:
        subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": str(PREFIX)}, check=False)

    print(f"median of {runs} paired runs each, standard output to /dev/null, log file on disk")
    print(f"{'assemblies':>10}  {'kestrum':>9}  {'floor':>9}  {'ratio':>6}  {'kestrum peak':>12}  {'floor peak':>10}  "
          f"{'two-process floor':>17}  {'ratio':>6}  {'kestrum / two-process':>22}")
    for assemblies, result in results.items():
        (kestrum, kestrum_peak), (floor, floor_peak) = result["kestrum"], result["floor"]
        two_process = result["two_process_floor"][0]
        print(f"{assemblies:>10}  {kestrum:8.3f}s  {floor:8.3f}s  {kestrum / floor:6.2f}  "
              f"{kestrum_peak / 1024:9.1f} MiB  {floor_peak / 1024:7.1f} MiB  {two_process:16.3f}s  "
              f"{two_process / floor:6.2f}  {kestrum / two_process:22.2f}")
        if other:
            other_time, other_peak = result["other"]
            print(f"{'':>10}  other {other.name}: {other_time:.3f}s, ratio {other_time / floor:.2f}, "
                  f"peak {other_peak / 1024:.1f} MiB")
    small, large = sorted(results)[-2:]
    per_small = (results[small]["kestrum"][0]) / small
    per_large = (results[large]["kestrum"][0]) / large
    extra = (results[large]["kestrum"][0] - results[small]["kestrum"][0]) / (large - small)
    print(f"kestrum per assembly: {per_small * 1e6:.1f} us over the whole run at {small}, "
          f"{per_large * 1e6:.1f} us at {large}, {extra * 1e6:.1f} us for each one added")


if __name__ == "__main__":
    main()
