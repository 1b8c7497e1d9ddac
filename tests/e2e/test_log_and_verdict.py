"""The run's records on the console and in the time-named log file."""

import calendar
import math
import shlex
import time
import unittest

from kestrum_run import (ADDIN_FOLDER, BANNER as BANNER_LINES, CONNECTS, NO_CRASH_REPORTS, NO_POWERPOINT, POWERPOINT_NOT_FOUND,
                         PROG_ID_NOT_REGISTERED, REGISTRATION_HEADING, TIMESTAMP, new_workdir, remove, run_kestrum,
                         wine_command)

BANNER = "".join(line + "\r\n" for line in BANNER_LINES).encode("utf-8")


def log_seconds(path):
    stem = path.stem
    assert stem.startswith("kestrum_"), stem
    return int(stem[len("kestrum_"):].split("_")[0])


def timestamp_as_utc(match):
    year, month, day, hour, minute, second, millis = (int(group) for group in match.groups()[:7])
    sign = 1 if match.group(8) == b"+" else -1
    offset = sign * (int(match.group(9)) * 3600 + int(match.group(10)) * 60)
    local = calendar.timegm((year, month, day, hour, minute, second)) + millis / 1000
    return local - offset, match.group(8) + match.group(9) + b":" + match.group(10)


class ConsoleAndFile(unittest.TestCase):
    def test_unregistered_addin_prints_banner_two_errors_and_exits_zero(self):
        run = run_kestrum(variant=None)
        self.addCleanup(remove, run)
        self.assertEqual(run.exit_status, 0)
        self.assertEqual(run.stdout, BANNER +
                         b"[error] Error (HRESULT=0x800401F3): Failed to get class ID (CLSID) for "
                         b"'Pexlo.PowerPoint.Addin' object.\r\n" +
                         "".join(line + "\r\n" for line in REGISTRATION_HEADING + [PROG_ID_NOT_REGISTERED] +
                                 NO_POWERPOINT + [POWERPOINT_NOT_FOUND] + NO_CRASH_REPORTS).encode() +
                         b"[error] An error occurred. HRESULT=0x800401F3\r\n")
        self.assertEqual(run.stderr, run.log_location_line())

    def test_successful_run_ends_done_without_colour_on_a_pipe(self):
        run = run_kestrum(scenario="no_runtime")
        self.addCleanup(remove, run)
        self.assertEqual(run.exit_status, 0)
        self.assertTrue(run.stdout.startswith(BANNER + b"[info] Successfully created Pexlo PowerPoint Addin object.\r\n"
                                              b"[info] \r\n[info] Listing all modules in process:\r\n"))
        self.assertTrue(run.stdout.endswith(b"[info] \r\n[info] Listing .NET assemblies loaded by Pexlo add-in:\r\n" +
                                            "".join(line + "\r\n" for line in NO_POWERPOINT).encode() +
                                            f"[info]   Server: {ADDIN_FOLDER}\\PexloSampleAddin.dll, no version "
                                            f"information\r\n{CONNECTS}\r\n{POWERPOINT_NOT_FOUND}\r\n".encode() +
                                            "".join(line + "\r\n" for line in NO_CRASH_REPORTS).encode() +
                                            b"[info] Done.\r\n"),
                        run.stdout[-800:])
        self.assertNotIn(b"\x1b", run.stdout)
        self.assertEqual(run.stderr, run.log_location_line())

    def test_log_file_is_named_from_the_start_second_and_holds_the_same_records(self):
        run = run_kestrum(env={"TZ": "UTC"})
        self.addCleanup(remove, run)
        [log_file] = run.log_files()
        self.assertEqual(log_file.name, f"kestrum_{log_seconds(log_file)}.log")
        self.assertLessEqual(math.floor(run.started), log_seconds(log_file))
        self.assertLessEqual(log_seconds(log_file), run.ended)
        console = run.console_lines()
        self.assertEqual(run.log_lines(), console, "file and console differ only in the prefix")
        self.assertGreater(len(console), 10)
        for line in run.log_bytes().split(b"\r\n")[:-1]:
            match = TIMESTAMP.match(line)
            utc, offset = timestamp_as_utc(match)
            self.assertEqual(offset, b"+00:00")
            self.assertTrue(run.started - 1 <= utc <= run.ended + 1, line)
            self.assertRegex(line[match.end():], rb"^\[(info|error)\] ")

    def test_local_time_and_offset_in_zones_off_the_whole_hour(self):
        for zone, expected_offset in (("IST-5:30", b"+05:30"), ("NST+3:30", b"-03:30")):
            with self.subTest(zone=zone):
                run = run_kestrum(variant=None, env={"TZ": zone})
                self.addCleanup(remove, run)
                lines = run.log_bytes().split(b"\r\n")[:-1]
                # The failure, the report's ProgID record, PowerPoint's view, its crash reports and the verdict follow.
                self.assertEqual(len(lines),
                                 len(BANNER_LINES + REGISTRATION_HEADING + NO_POWERPOINT + NO_CRASH_REPORTS) + 4)
                for line in lines:
                    utc, offset = timestamp_as_utc(TIMESTAMP.match(line))
                    self.assertEqual(offset, expected_offset)
                    self.assertTrue(run.started - 1 <= utc <= run.ended + 1,
                                    f"{line!r} is not the UTC time of the run")


class LogFileCreation(unittest.TestCase):
    def test_missing_log_directory_is_created(self):
        run = run_kestrum(variant=None)
        self.addCleanup(remove, run)
        self.assertTrue(run.log_dir.is_dir())
        self.assertEqual(len(run.log_files()), 1)

    def test_a_taken_name_is_kept_and_the_next_free_one_used(self):
        workdir = new_workdir()
        logs = workdir / "PexloKestrumLogs"
        logs.mkdir()
        now = int(time.time())
        earlier = {}
        for second in range(now - 2, now + 60):
            for name in (f"kestrum_{second}.log", f"kestrum_{second}_2.log"):
                (logs / name).write_bytes(b"an earlier run\r\n")
                earlier[name] = True
        run = run_kestrum(variant=None, workdir=workdir)
        self.addCleanup(remove, run)
        new_files = [path for path in run.log_files() if path.name not in earlier]
        self.assertEqual(len(new_files), 1)
        self.assertRegex(new_files[0].name, r"^kestrum_\d+_3\.log$")
        self.assertIn(b"[error] An error occurred. HRESULT=0x800401F3\r\n", new_files[0].read_bytes())
        for name in earlier:
            self.assertEqual((logs / name).read_bytes(), b"an earlier run\r\n", name)

    def test_uncreatable_log_folder_writes_one_stderr_line_with_its_own_reason_and_exits_one(self):
        workdir = new_workdir()
        (workdir / "PexloKestrumLogs").write_bytes(b"a file where the directory should be")
        run = run_kestrum(variant=None, workdir=workdir)
        self.addCleanup(remove, run)
        self.assertEqual(run.exit_status, 1)
        self.assertEqual(run.stdout, b"")
        self.assertEqual(run.stderr.decode("utf-8"),
                         "kestrum: cannot create the log folder PexloKestrumLogs: Directory name invalid\r\n")


class Console(unittest.TestCase):
    def test_pseudo_terminal_colours_the_level_word_and_shows_non_ascii_text(self):
        run = run_kestrum(variant="working", scenario="non_ascii_already_loaded", report=False,
                          env={"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"},
                          launcher=lambda exe: ["script", "-qec", shlex.join(wine_command(exe)), "/dev/null"])
        self.addCleanup(remove, run)
        screen = run.stdout
        self.assertEqual(run.exit_status, 0, screen[-500:])
        self.assertIn(b"\x1b[", screen, "the level word is coloured on a console")
        self.assertIn("A\u00f1adido \u00dcn\u00efcode".encode("utf-8"), screen)
        log = run.log_bytes()
        self.assertNotIn(b"\x1b", log)
        self.assertIn("A\u00f1adido \u00dcn\u00efcode".encode("utf-8"), log)


if __name__ == "__main__":
    unittest.main(verbosity=2)
