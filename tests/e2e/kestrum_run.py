"""Runs the real kestrum.exe or kestrum32.exe under Wine in the build tree's
private prefix.

KESTRUM_EDITION (x64, the default, or x86) names the edition every suite
runs against; the x86 edition is built in the x86/ folder of the build tree
and its fixtures are registered in the 32-bit registry view. Where this
machine cannot run 32-bit programs, running the x86 edition skips the test
with the reason (scripts/wine32-status). Run a suite with
    python3 kestrum_run.py test_SUITE
to have "every test skipped" end with status 77, which ctest shows as skipped.

The add-in variant is chosen by pointing "Pexlo.PowerPoint.Addin" at one of
the sample add-in's classes, and the .NET picture by the stand-in hosting
layer's scenario; kestrum itself reads neither.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KESTRUM_BUILD_DIR", ROOT / "build")).resolve()
PREFIX = Path(os.environ.get("KESTRUM_WINEPREFIX", BUILD / "wine-prefix")).resolve()
EDITION = os.environ.get("KESTRUM_EDITION", "x64")
if EDITION not in ("x64", "x86"):
    raise SystemExit(f"KESTRUM_EDITION must be x64 or x86, not {EDITION!r}")
IS_X86 = EDITION == "x86"
EDITION_BUILD = BUILD / "x86" if IS_X86 else BUILD
EXE = EDITION_BUILD / ("kestrum32.exe" if IS_X86 else "kestrum.exe")
# The same program with a progress limit of a few seconds, for runs that hang.
SHORT_LIMIT_EXE = EDITION_BUILD / "tests" / "kestrum_short_progress_limit.exe"
SHORT_PROGRESS_LIMIT_SECONDS = 5
PROG_ID_KEY = r"HKCR\Pexlo.PowerPoint.Addin"
ADDIN_FOLDER = "C:\\Pexlo A\u00f1adido \u00dcn\u00efcode" + (" (x86)" if IS_X86 else "")
# Where a process of the edition finds the installed .NET Framework.
FRAMEWORK_FOLDER = "C:\\Windows\\Microsoft.NET\\Framework" + ("" if IS_X86 else "64")
OTHER_ADDIN_FOLDER = "C:\\Pexlo A\u00f1adido \u00dcn\u00efcode" + ("" if IS_X86 else " (x86)")
# Each edition's classes are registered in its own view, as its installer would.
REGISTRY_VIEW, OTHER_REGISTRY_VIEW = ("/reg:32", "/reg:64") if IS_X86 else ("/reg:64", "/reg:32")
# Hex digits of an address in a crash record: the edition's pointer width.
ADDRESS_DIGITS = 8 if IS_X86 else 16
# How kestrum names the views, and the edition it sends a user to when the
# class is registered in the other view only.
VIEW_NAMES = {"/reg:64": "64-bit registry view", "/reg:32": "32-bit registry view"}
OTHER_EXE_NAME = "kestrum.exe" if IS_X86 else "kestrum32.exe"
# The system folder of this edition's registry view: the 32-bit one is
# SysWOW64, also to a 32-bit program, which calls it System32 as well.
SYSTEM_FOLDER = "C:\\windows\\syswow64" if IS_X86 else "C:\\windows\\system32"

# 64-bit Wine by its full path: with wine32 installed, "wine" is the 32-bit loader.
WINE64 = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"

# The three records every run begins with.
BANNER = ["[info] Pexlo Kestrum v1", "[info] Copyright (c) Pexlo. All rights reserved.", "[info] "]
# A failed activation's records: its error record, this heading and what the
# registry says, then the verdict.
# Wine gives every program an elevated token (TokenElevation says so), and
# its COM never uses per-user classes: the report begins by saying so.
REGISTRATION_HEADING = ["[info] ", "[info] Registration of 'Pexlo.PowerPoint.Addin':",
                        "[info]   This run is elevated (Run as administrator): COM ignores per-user registrations "
                        "here, but PowerPoint, run normally, uses them. Run kestrum without elevation to check the "
                        "add-in as PowerPoint loads it."]
PROG_ID_NOT_REGISTERED = ("[info]   ProgID: not registered, neither per user (HKEY_CURRENT_USER\\Software\\Classes) "
                          "nor per machine (HKEY_LOCAL_MACHINE\\Software\\Classes)")

# PowerPoint's view of the add-in, before PowerPoint's crash reports, the last
# section before every verdict: its heading, and its records in a prefix where
# no Office was ever installed.
POWERPOINT_VIEW_HEADING = ["[info] ", "[info] PowerPoint's view of 'Pexlo.PowerPoint.Addin':"]
NO_POWERPOINT = POWERPOINT_VIEW_HEADING + ["[info]   PowerPoint: not found on this machine",
                                           "[info]   Add-in entry per user: none",
                                           "[info]   Add-in entry per machine: none"]
POWERPOINT_NOT_FOUND = "[info]   PowerPoint was not found, so whether it loads the add-in is not known."
CRASH_REPORTS_HEADING = ["[info] ", "[info] PowerPoint's crash reports (Windows Error Reporting):"]
NO_CRASH_REPORTS = CRASH_REPORTS_HEADING + ["[info]   none kept on this machine"]
# The view's record after a created object that PowerPoint can connect, as the sample's is.
CONNECTS = "[info]   The add-in's object implements IDTExtensibility2, which PowerPoint needs to connect it."


def last_section_at(lines, heading):
    return max(index for index in range(len(lines) - 1) if lines[index:index + 2] == heading)


def split_at_powerpoint_view(lines):
    """The records before PowerPoint's view, and the view's records after its
    heading, up to PowerPoint's crash reports."""
    at = last_section_at(lines, POWERPOINT_VIEW_HEADING)
    return lines[:at], lines[at + 2:last_section_at(lines, CRASH_REPORTS_HEADING)]


def crash_reports(lines):
    """PowerPoint's crash reports after their heading, up to the verdict (the last record)."""
    return lines[last_section_at(lines, CRASH_REPORTS_HEADING) + 2:-1]


TIMESTAMP = re.compile(rb"^\[(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3}) ([+-])(\d\d):(\d\d)\]")


def wine32_status():
    """"yes", or "no: REASON": whether 32-bit programs run here, found once."""
    if not os.environ.get("KESTRUM_WINE32"):
        os.environ["KESTRUM_WINE32"] = subprocess.run(
            [str(ROOT / "scripts" / "wine32-status")], capture_output=True, text=True, check=True).stdout.strip()
    return os.environ["KESTRUM_WINE32"]


def skip_unless_edition_runs():
    """Skips the calling test when this machine cannot run the edition."""
    status = wine32_status() if IS_X86 else "yes"
    if status != "yes":
        raise unittest.SkipTest(f"kestrum32.exe cannot run here: {status.removeprefix('no: ')}")


def wine_environment(extra=None, edition=EDITION):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(PREFIX),
        "WINEDEBUG": "-all",
        # No debugger: on Windows a crash nobody handles prints nothing into
        # the program's output, while Wine's debugger would dump there.
        "WINEDLLOVERRIDES": "mscoree=n,b;winemenubuilder.exe=d;winedbg.exe=d",
        "WINELOADER": WINE64,
    })
    if edition == "x86":
        # As Debian's own wine command starts 32-bit programs.
        del env["WINELOADER"]
    env.update(extra or {})
    return env


def wine_started_nothing(completed):
    """Whether Wine gave no answer at all. Now and then, while the prefix's
    server restarts after a test ended it, Wine cannot start a program: it
    says "ShellExecuteEx failed", or ends in failure without a word. Neither
    the tools nor kestrum fail without saying why."""
    output = (completed.stdout or b"") + (completed.stderr or b"")
    return b"ShellExecuteEx failed" in output or (completed.returncode != 0 and not output.strip())


def wine64_quietly(*arguments, must_succeed=True):
    """Runs a 64-bit Wine tool (reg, cmd) in the prefix, quietly unless it fails."""
    for _ in range(3):
        done = subprocess.run([WINE64, *arguments], env=wine_environment(edition="x64"), stdin=subprocess.DEVNULL,
                              capture_output=True, check=False)
        if not wine_started_nothing(done):
            break
    if must_succeed and done.returncode != 0:
        raise RuntimeError(f"wine64 {' '.join(arguments)} exited with {done.returncode}: "
                           f"{done.stdout.decode('cp437', 'replace')}{done.stderr.decode('utf-8', 'replace')}")


def variant_rows(table_name):
    """The tab-separated rows of one of the sample add-in's variant tables."""
    table = ROOT / "tests" / "fixtures" / "sample_addin" / table_name
    return [line.split("\t") for line in table.read_text(encoding="utf-8").splitlines()
            if line.strip() and not line.startswith("#")]


def addin_variants():
    variants = {name: (clsid, dll) for name, clsid, dll in variant_rows("variants.tsv")}
    # Registered the .NET way: COM loads the hosting layer, mscoree.dll.
    variants.update({row[0]: (row[1], "mscoree.dll") for row in variant_rows("managed_variants.tsv")})
    return variants


_registered_variant = object()

# A class registered only in the other edition's registry view, as an installer
# of the other bitness leaves it, under a CLSID of its own. Its ProgID goes
# into both views: Windows shares ProgID keys between them (only CLSID keys
# are per view), while Wine 8 keeps ProgIDs per view too.
OTHER_BITNESS_ONLY = "other_bitness_only"
OTHER_BITNESS_CLSID = "{6C2E39D4-8A51-4F0B-9C7E-3B1D52A04E77}"
OTHER_BITNESS_CLASS_KEY = "HKCR\\CLSID\\" + OTHER_BITNESS_CLSID


def register_addin(variant):
    """Points the add-in's ProgID at a sample variant, or removes it (None)."""
    global _registered_variant
    if variant == _registered_variant:
        return
    if variant is None:
        # Wine keeps ProgID keys per view: one left in either view may still be found.
        for view in (REGISTRY_VIEW, OTHER_REGISTRY_VIEW):
            wine64_quietly("reg", "delete", PROG_ID_KEY, "/f", view, must_succeed=False)
    elif variant == OTHER_BITNESS_ONLY:
        wine64_quietly("reg", "delete", OTHER_BITNESS_CLASS_KEY, "/f", REGISTRY_VIEW, must_succeed=False)
        server = OTHER_ADDIN_FOLDER + "\\" + addin_variants()["working"][1]
        wine64_quietly("reg", "add", OTHER_BITNESS_CLASS_KEY + r"\InprocServer32", "/ve", "/d", server, "/f",
                       OTHER_REGISTRY_VIEW)
        wine64_quietly("reg", "add", OTHER_BITNESS_CLASS_KEY + r"\InprocServer32", "/v", "ThreadingModel", "/d", "Both",
                       "/f", OTHER_REGISTRY_VIEW)
        for view in (REGISTRY_VIEW, OTHER_REGISTRY_VIEW):
            wine64_quietly("reg", "add", PROG_ID_KEY + r"\CLSID", "/ve", "/d", OTHER_BITNESS_CLSID, "/f", view)
    else:
        clsid = addin_variants()[variant][0]
        wine64_quietly("reg", "add", PROG_ID_KEY + r"\CLSID", "/ve", "/d", clsid, "/f", REGISTRY_VIEW)
    _registered_variant = variant


@dataclass
class Run:
    workdir: Path
    exit_status: int
    stdout: bytes
    stderr: bytes
    started: float
    ended: float
    stand_in_report: dict = field(default_factory=dict)

    @property
    def log_dir(self):
        return self.workdir / "PexloKestrumLogs"

    def log_files(self):
        return sorted(self.log_dir.glob("*.log")) if self.log_dir.is_dir() else []

    def log_bytes(self):
        files = self.log_files()
        assert len(files) == 1, f"expected one log file, found {files}"
        return files[0].read_bytes()

    def log_location_line(self):
        """The one line on standard error after a run: the log's full path, as
        Wine names a folder outside the prefix."""
        [log_file] = self.log_files()
        return ("Log: Z:" + str(log_file).replace("/", "\\") + "\r\n").encode("utf-8")

    def console_lines(self):
        """The console records, each checked to end in CRLF."""
        return split_records(self.stdout)

    def log_lines(self):
        """The log file's records with the timestamp prefix taken off."""
        lines = []
        for line in split_records(self.log_bytes()):
            match = TIMESTAMP.match(line.encode("utf-8"))
            assert match, f"log record without timestamp: {line!r}"
            lines.append(line[match.end():])
        return lines


def split_records(data):
    text = data.decode("utf-8")
    assert text.endswith("\r\n"), f"output does not end in CRLF: {text[-40:]!r}"
    records = text[:-2].split("\r\n")
    for record in records:
        assert "\n" not in record and "\r" not in record, f"bare line break in {record!r}"
    return records


def new_workdir():
    """A fresh, empty folder in the build tree for one run."""
    return Path(tempfile.mkdtemp(prefix="kestrum-e2e-", dir=BUILD))


def wine_command(exe):
    """The command line that starts the edition's exe with the matching loader."""
    return [WINE32 if IS_X86 else WINE64, str(exe)]


def run_kestrum(variant="working", scenario=None, workdir=None, env=None, launcher=wine_command,
                report=True, timeout=120, exe=EXE):
    """Runs the edition's exe once in |workdir| (a new temporary folder by default).

    |launcher| turns the exe's path into the command line that starts it, for
    runs under a pseudo-terminal or with standard output redirected. Skips
    the calling test where the edition cannot run.
    """
    import time
    skip_unless_edition_runs()
    register_addin(variant)
    workdir = Path(workdir) if workdir else new_workdir()
    # No scenario: the stand-in's default, a runtime only once something loads it.
    extra = {"KESTRUM_STAND_IN_SCENARIO": scenario or ""}
    report_path = workdir / "stand-in-report.txt"
    if report:
        extra["KESTRUM_STAND_IN_REPORT"] = "Z:" + str(report_path).replace("/", "\\")
    extra.update(env or {})
    for _ in range(2):
        started = time.time()
        completed = subprocess.run(launcher(exe), cwd=workdir, env=wine_environment(extra),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, timeout=timeout, check=False)
        ended = time.time()
        # A run makes its log folder before anything else: without it, and
        # without a word, Wine never started kestrum.
        if not (wine_started_nothing(completed) and not (workdir / "PexloKestrumLogs").exists()):
            break
    run = Run(workdir, completed.returncode, completed.stdout or b"", completed.stderr or b"", started, ended)
    if report and report_path.exists():
        for line in report_path.read_text(encoding="utf-8").splitlines():
            key, _, value = line.partition("=")
            run.stand_in_report[key] = value
    return run


def remove(run):
    shutil.rmtree(run.workdir, ignore_errors=True)


class _CountingResult(unittest.TextTestResult):
    """Tells tests that passed from tests whose every check was skipped."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.passed, self.partly_skipped = set(), set()

    def addSuccess(self, test):
        super().addSuccess(test)
        self.passed.add(test.id())

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        # A skipped subtest leaves its test "successful"; it did not pass.
        self.partly_skipped.add(getattr(test, "test_case", test).id())


def main(suite):
    """Runs one suite module; status 77 when every one of its tests was skipped."""
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    tests = unittest.defaultTestLoader.loadTestsFromName(suite)
    result = unittest.TextTestRunner(verbosity=2, resultclass=_CountingResult).run(tests)
    if not result.wasSuccessful():
        return 1
    if result.skipped and not result.passed - result.partly_skipped:
        print(f"{suite} ({EDITION}): every test skipped", file=sys.stderr)
        return 77
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit("usage: kestrum_run.py test_SUITE")
    sys.exit(main(sys.argv[1]))
