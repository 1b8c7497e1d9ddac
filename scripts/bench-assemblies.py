#!/usr/bin/env python3
"""Times whole runs of kestrum.exe under Wine with 20,000 assemblies in the
stand-in runtime and with none, and prints what one assembly costs.

A measurement to read, not a test: nothing here passes or fails. Run it after
scripts/test.sh or scripts/run.sh has built everything:

    python3 scripts/bench-assemblies.py [RUNS]
"""

import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
from kestrum_run import BUILD, ROOT, remove, run_kestrum  # noqa: E402

ASSEMBLIES = 20000


def best_run(scenario, runs):
    best = None
    for _ in range(runs):
        run = run_kestrum(variant="working", scenario=scenario, report=False)
        elapsed = run.ended - run.started
        records = run.stdout.count(b"\r\n")
        remove(run)
        if run.exit_status != 0:
            sys.exit(f"{scenario}: kestrum.exe exited with {run.exit_status}")
        best = elapsed if best is None else min(best, elapsed)
    return best, records


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    subprocess.run(["bash", str(ROOT / "scripts" / "prepare-prefix.sh"), str(BUILD)], check=True,
                   stdout=subprocess.DEVNULL)
    try:
        none, none_records = best_run("no_runtime", runs)
        many, many_records = best_run("many_assemblies", runs)
    finally:
        subprocess.run(["wineserver", "-k"], env={"WINEPREFIX": str(BUILD / "wine-prefix")}, check=False)
    print(f"best of {runs} runs each, console to a pipe, log file on disk")
    print(f"no runtime:         {none:8.3f} s  ({none_records} records)")
    print(f"{ASSEMBLIES} assemblies: {many:8.3f} s  ({many_records} records)")
    print(f"per assembly:       {(many - none) * 1e6 / ASSEMBLIES:8.1f} us")


if __name__ == "__main__":
    main()
