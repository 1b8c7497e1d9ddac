"""Runs the real kestrum.exe under Wine in the build tree's private prefix.

The add-in variant is chosen by pointing "Pexlo.PowerPoint.Addin" at one of
the sample add-in's classes, and the .NET picture by the stand-in hosting
layer's scenario; kestrum.exe itself reads neither.
"""

import os
import re
import shutil
import subprocess
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KESTRUM_BUILD_DIR", ROOT / "build")).resolve()
PREFIX = Path(os.environ.get("KESTRUM_WINEPREFIX", BUILD / "wine-prefix")).resolve()
EXE = BUILD / "kestrum.exe"
PROG_ID_KEY = r"HKCR\Pexlo.PowerPoint.Addin"
ADDIN_FOLDER = "C:\\Pexlo A\u00f1adido \u00dcn\u00efcode"

# The three records every run begins with.
BANNER = ["[info] Pexlo Kestrum v1", "[info] Copyright (c) Pexlo. All rights reserved.", "[info] "]

TIMESTAMP = re.compile(rb"^\[(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3}) ([+-])(\d\d):(\d\d)\]")


def wine_environment(extra=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(PREFIX),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree=n,b;winemenubuilder.exe=d",
    })
    env.update(extra or {})
    return env


def addin_variants():
    variants = {}
    table = ROOT / "tests" / "fixtures" / "sample_addin" / "variants.tsv"
    for line in table.read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            name, clsid, dll = line.split("\t")
            variants[name] = (clsid, dll)
    # Registered the .NET way: COM loads the hosting layer, mscoree.dll.
    managed = ROOT / "tests" / "fixtures" / "sample_addin" / "managed_variants.tsv"
    for line in managed.read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            name, clsid = line.split("\t")[:2]
            variants[name] = (clsid, "mscoree.dll")
    return variants


_registered_variant = object()


def register_addin(variant):
    """Points the add-in's ProgID at a sample variant, or removes it (None)."""
    global _registered_variant
    if variant == _registered_variant:
        return
    if variant is None:
        command = ["wine", "reg", "delete", PROG_ID_KEY, "/f"]
    else:
        clsid = addin_variants()[variant][0]
        command = ["wine", "reg", "add", PROG_ID_KEY + r"\CLSID", "/ve", "/d", clsid, "/f"]
    subprocess.run(command, env=wine_environment(), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
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
    return ["wine", str(exe)]


def run_kestrum(variant="working", scenario="one_runtime", workdir=None, env=None, launcher=wine_command,
                report=True, timeout=120):
    """Runs kestrum.exe once in |workdir| (a new temporary folder by default).

    |launcher| turns the exe's path into the command line that starts it, for
    runs under a pseudo-terminal or with standard output redirected.
    """
    import time
    register_addin(variant)
    workdir = Path(workdir) if workdir else new_workdir()
    extra = {"KESTRUM_STAND_IN_SCENARIO": scenario}
    report_path = workdir / "stand-in-report.txt"
    if report:
        extra["KESTRUM_STAND_IN_REPORT"] = "Z:" + str(report_path).replace("/", "\\")
    extra.update(env or {})
    started = time.time()
    completed = subprocess.run(launcher(EXE), cwd=workdir, env=wine_environment(extra),
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=timeout, check=False)
    ended = time.time()
    run = Run(workdir, completed.returncode, completed.stdout or b"", completed.stderr or b"", started, ended)
    if report and report_path.exists():
        for line in report_path.read_text(encoding="utf-8").splitlines():
            key, _, value = line.partition("=")
            run.stand_in_report[key] = value
    return run


def remove(run):
    shutil.rmtree(run.workdir, ignore_errors=True)
