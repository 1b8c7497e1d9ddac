"""An add-in that faults must not take the diagnosis with it."""

import os
import re
import shlex
import subprocess
import unittest

from kestrum_run import (ADDIN_FOLDER, ADDRESS_DIGITS, BANNER, EDITION_BUILD, EXE, REGISTRATION_HEADING, IS_X86,
                         SHORT_LIMIT_EXE, SHORT_PROGRESS_LIMIT_SECONDS, new_workdir, remove, run_kestrum,
                         wine_command)

ADDIN_DLL = ADDIN_FOLDER + "\\PexloSampleAddin.dll"
DYNAMIC_RUNTIME_DLL = ADDIN_FOLDER + "\\PexloSampleAddinDynamicRuntime.dll"

EXCEPTION = "exception 0x{code:08X}{meaning}"
# What the records say after the codes these tests meet; others stay bare.
MEANING = {0xC0000005: " (access violation)", 0xC00000FD: " (stack overflow)",
           0xC0000602: " (fail-fast exception)", 0xE06D7363: " (C++ exception (Visual C++))"}
ABORT = "abort() was called"
# abort() ends a process with STATUS_FATAL_APP_EXIT.
FATAL_APP_EXIT = 0x40000015
# Where no frame of the add-in's can be found, the record says so.
UNKNOWN = None

# Where the editions differ, what each one reports: (what, code, module).
# A C++ exception that escapes the MinGW sample: x86-64 MinGW raises it as a
# structured exception that names its thrower; i686 MinGW unwinds with DWARF
# tables and raises none, so only the abort() it ends in is seen. Through the
# shared runtime, no frame of the add-in's lies on the way to that abort().
UNCAUGHT_CXX = (ABORT, FATAL_APP_EXIT, ADDIN_DLL) if IS_X86 else (EXCEPTION, 0x20474343, ADDIN_DLL)
UNCAUGHT_CXX_THROUGH_SHARED_RUNTIME = ((ABORT, FATAL_APP_EXIT, UNKNOWN) if IS_X86
                                       else (EXCEPTION, 0x20474343, DYNAMIC_RUNTIME_DLL))
# The verdicts of a run that ended without a failure code of its own, and of
# one that stopped making progress.
ENDED_UNEXPECTEDLY = 0x800704D5
TIMED_OUT = 0x800705B4
# The program whose log writes fail, as on a full disk, after its fifth record.
FULL_DISK_EXE = EDITION_BUILD / "tests" / "kestrum_full_disk.exe"
# A real volume that fills up mid-record: it takes part of the record, then fails.
FULL_VOLUME = "as many records as standard error says"
FORGED = "[error] The log holds a verdict that kestrum did not write: the add-in wrote into the log."
INTERRUPTED = 0x800704C7


def crash_record(what, code, dll, crashed="The process crashed: "):
    """The crash record as a pattern: every literal part escaped."""
    happened = re.escape(crashed + what.format(code=code, meaning=MEANING.get(code, "")))
    if dll is UNKNOWN:
        return rf"^\[error\] {happened} at an unknown address\.$"
    return (rf"^\[error\] {happened} at 0x[0-9A-F]{{{ADDRESS_DIGITS}}} "
            rf"in {re.escape(dll)}\.$")


class AddinFaults(unittest.TestCase):
    def assert_crash_reported(self, variant, what, code, dll=ADDIN_DLL, scenario=None):
        """The crash record and its verdict are the last two records on the
        console and in the log, whatever else was still being written."""
        run = self.run = run_kestrum(variant=variant, scenario=scenario)
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(lines[:3], BANNER)
        self.assertRegex(lines[-2], crash_record(what, code, dll))
        self.assertEqual(lines[-1], f"[error] An error occurred. HRESULT=0x{code:08X}")
        self.assertEqual(run.log_lines(), lines, "the log file holds every record")
        self.assertEqual(run.exit_status, code & 0xFF, "the exit status is the exception code")
        return lines

    def test_access_violation_in_dll_get_class_object(self):
        self.assertEqual(len(self.assert_crash_reported("crash_in_get_class_object", EXCEPTION, 0xC0000005)), 5)

    def test_access_violation_while_the_object_is_built(self):
        self.assertEqual(len(self.assert_crash_reported("crash_in_construction", EXCEPTION, 0xC0000005)), 5)

    def test_fault_outside_the_addins_code_names_the_addin_that_caused_it(self):
        for variant, code in (
                # The fault is at address 0; the caller is known from the stack.
                ("null_function_call", 0xC0000005),
                # The fault is in msvcrt's wcslen; the add-in handed it a null string.
                ("fault_in_system_library", 0xC0000005),
                # Raised in kernelbase, as an add-in built with MSVC raises an
                # exception nobody catches.
                ("raise_msvc_exception", 0xE06D7363)):
            with self.subTest(variant):
                self.assertEqual(len(self.assert_crash_reported(variant, EXCEPTION, code)), 5)

    def test_a_log_emptied_through_the_workers_handle_is_put_back(self):
        self.assertEqual(len(self.assert_crash_reported("truncate_log_then_fault", EXCEPTION, 0xC0000005)), 5)
        self.assertIn(b"SetEndOfFile", (self.run.workdir / "truncate-log.txt").read_bytes(), "the handle was found")

    def test_cxx_exception_escaping_create_instance(self):
        what, code, dll = UNCAUGHT_CXX
        self.assertEqual(len(self.assert_crash_reported("throw_from_create_instance", what, code, dll)), 5)

    def test_cxx_exception_through_a_shared_cxx_runtime_never_names_the_runtime_or_kestrum(self):
        self.assert_crash_reported("throw_through_shared_runtime", *UNCAUGHT_CXX_THROUGH_SHARED_RUNTIME)

    def test_abort_is_reported_as_an_abort_with_its_caller(self):
        self.assert_crash_reported("abort_in_create_instance", ABORT, FATAL_APP_EXIT)

    def test_abort_after_a_caught_exception_is_still_an_abort(self):
        self.assert_crash_reported("abort_after_caught_throw", ABORT, FATAL_APP_EXIT)

    def test_worker_thread_fault_during_the_assembly_listing_ends_the_records(self):
        lines = self.assert_crash_reported("faulting_worker", EXCEPTION, 0xC0000005, scenario="many_assemblies_already_loaded")
        self.assertIn("[info] Listing .NET assemblies loaded by Pexlo add-in:", lines)

    def test_worker_threads_throwing_and_catching_do_not_disturb_the_run(self):
        run = run_kestrum(variant="throwing_workers", scenario="many_assemblies_already_loaded")
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(run.exit_status, 0)
        self.assertEqual(lines[-1], "[info] Done.")
        self.assertEqual(sum(line.startswith("[info]     Path: ") for line in lines), 20000)
        self.assertEqual(run.log_lines(), lines)
        self.assertLess(run.ended - run.started, 60, "no hang, no crawl")

    def assert_ending_reported(self, variant, ending, verdict_code, exit_code, exe=EXE, forged=False):
        """A run the add-in ended before its verdict still closes with a record
        saying so and an error verdict, on the console and in the log; after
        the add-in's forged "Done." in the log, a record saying that first."""
        run = run_kestrum(variant=variant, exe=exe)
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(lines[:3], BANNER)
        if isinstance(ending, re.Pattern):  # a silence that ran longer while the worker was still busy
            silence = ending.fullmatch(lines[-2])
            self.assertTrue(silence and int(silence[1]) >= SHORT_PROGRESS_LIMIT_SECONDS, lines[-2])
            ending = lines[-2]
        ours = [FORGED] * forged + [ending, f"[error] An error occurred. HRESULT=0x{verdict_code:08X}"]
        self.assertEqual(lines[-len(ours):], ours, run.stdout.decode("utf-8", "replace"))
        self.assertEqual(run.log_lines(), lines[:-len(ours)] + ["[info] Done."] * forged + ours)
        self.assertEqual(run.exit_status, exit_code & 0xFF)

    def test_endings_past_every_handler_in_the_process_are_reported_from_outside(self):
        ended = "[error] The process ended before its verdict: exit code 0x{:08X}{}."
        rows = [
            # variant, the worker's exit code, the verdict's code, whether the add-in forged a verdict in the log
            ("remove_filter_then_fault", 0xC0000005, 0xC0000005, False),
            ("reset_abort_handler_then_abort", 3, ENDED_UNEXPECTEDLY, False),
            ("exit_process", 7, ENDED_UNEXPECTEDLY, False),
            ("fast_fail", 0xC0000602, 0xC0000602, False),
            ("forge_verdict_then_exit", 0, ENDED_UNEXPECTEDLY, True),
            ("forge_verdict_then_fault", 0xC0000005, 0xC0000005, True),
        ]
        if not IS_X86:
            # On x64 a stack overflow on the main thread runs none of the
            # process's handlers, and the process ends with status 0.
            rows.append(("stack_overflow", 0, ENDED_UNEXPECTEDLY, False))
        for variant, worker_exit, verdict_code, forged in rows:
            with self.subTest(variant):
                ending = ended.format(worker_exit, MEANING.get(worker_exit, ""))
                self.assert_ending_reported(variant, ending, verdict_code, worker_exit or verdict_code, forged=forged)

    def test_stack_overflow_where_the_process_sees_it_is_a_crash(self):
        # The x86 edition sees it on the main thread too; see above for x64.
        for variant in ["stack_overflow_on_worker_thread"] + (["stack_overflow"] if IS_X86 else []):
            with self.subTest(variant):
                self.assert_crash_reported(variant, EXCEPTION, 0xC00000FD)

    def test_a_hang_in_creation_is_ended_and_named(self):
        self.assert_ending_reported(
            "hang_in_create_instance",
            re.compile(r"\[error\] The run stopped making progress while creating the add-in: no new record for "
                       r"(\d+) s, so it was ended\."), TIMED_OUT, TIMED_OUT, exe=SHORT_LIMIT_EXE)

    def test_a_run_that_reached_its_verdict_ends_with_it(self):
        incomplete = "The log file is incomplete: writing it failed after record {} (error {}: "
        limit = SHORT_PROGRESS_LIMIT_SECONDS
        rows = [
            # variant, exe, what reads standard output, standard error's first line, records in the log (None: all)
            ("terminate_after_verdict", EXE, "", None, None),
            ("close_log_handle", EXE, "", incomplete.format(3, 6), 3),
            ("working", FULL_DISK_EXE, "", incomplete.format(5, 112), 5),
            ("working", EXE, "", incomplete[:incomplete.index("{")], FULL_VOLUME),
            ("slow_create_instance", SHORT_LIMIT_EXE, "",
             f"Still waiting for the add-in: {limit} s without a new record, the process is working.", None),
            ("working", SHORT_LIMIT_EXE, f"| (sleep {3 * limit}; cat)",
             "Still waiting: the reader of standard output has not taken record ", None),
        ]
        for variant, exe, reader, said, logged in rows:
            with self.subTest(variant, exe=exe.name, reader=reader):
                full = logged is FULL_VOLUME
                run = run_kestrum(variant=variant, workdir=self.nearly_full_volume() if full else None,
                                  scenario="many_assemblies_already_loaded" if reader else "fifty_assemblies_already_loaded" if full else None,
                                  exe=exe, report=False, launcher=lambda exe: [
                                      "bash", "-c", f"set -o pipefail; {shlex.join(wine_command(exe))} {reader}"])
                self.addCleanup(remove, run)
                lines = run.console_lines()
                self.assertEqual(lines[-1], "[info] Done.")
                self.assertEqual(run.exit_status, 0)
                said_lines = [line for line in run.stderr.decode("utf-8").splitlines() if not line.startswith("Log: ")]
                self.assertEqual(said_lines[0][:len(said)] if said_lines and said else said_lines, said or [])
                if logged is FULL_VOLUME:
                    logged = int(re.fullmatch(r"[^0-9]*(\d+) \(error 112: .*", said_lines[0])[1])
                self.assertEqual(run.log_lines(), lines[:logged])

    def nearly_full_volume(self):
        """A working folder on a volume of its own with 8 KiB free: the log
        fills it within the module listing."""
        if os.geteuid() != 0:
            self.skipTest("mounting a volume of its own needs root")
        workdir = new_workdir()
        self.addCleanup(os.rmdir, workdir)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(workdir)], check=True)
        self.addCleanup(subprocess.run, ["umount", str(workdir)], check=True)
        (workdir / "the rest of the volume").write_bytes(bytes(56 * 1024))
        return workdir

    def test_a_fault_while_the_verdict_is_written_leaves_it_the_runs_verdict(self):
        run = run_kestrum(variant="fault_while_verdict_written")
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(lines[:3], BANNER)
        self.assertEqual(lines[-2], "[info] Done.")
        self.assertRegex(lines[-1], crash_record(EXCEPTION, 0xC0000005, ADDIN_DLL, "The process crashed after its verdict: "))
        self.assertEqual(run.log_lines(), lines, "no second verdict, nothing called foreign")
        self.assertEqual(run.exit_status, 0)

    def test_ctrl_c_on_the_console_ends_the_run_with_its_own_verdict(self):
        # Wine hands console events only to programs on a console: a pseudo-terminal.
        run = run_kestrum(variant="send_ctrl_c", exe=SHORT_LIMIT_EXE, report=False,
                          launcher=lambda exe: ["script", "-qec", shlex.join(wine_command(exe)), "/dev/null"])
        self.addCleanup(remove, run)
        self.assertEqual(run.log_lines()[3:], ["[error] The run was interrupted (Ctrl+C) before its verdict.",
                                               f"[error] An error occurred. HRESULT=0x{INTERRUPTED:08X}"])
        self.assertEqual(run.exit_status, INTERRUPTED & 0xFF)

    def test_the_addin_cannot_take_the_output_or_the_log(self):
        for variant in ("take_standard_output", "delete_logs"):
            with self.subTest(variant):
                run = run_kestrum(variant=variant)
                self.addCleanup(remove, run)
                lines = run.console_lines()
                self.assertEqual(lines[-1], "[info] Done.")
                self.assertIn("[info] Listing .NET assemblies loaded by Pexlo add-in:", lines)
                self.assertEqual(run.log_lines(), lines)
                self.assertEqual(run.exit_status, 0)
                if variant == "take_standard_output":
                    self.assertEqual((run.workdir / "addin-output.txt").read_bytes(), b"",
                                     "nothing of kestrum's in the add-in's own file")

    def test_fault_in_dll_main_is_contained_as_a_creation_failure(self):
        run = run_kestrum(variant="crash_in_dll_main")
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(lines[:3], BANNER)
        self.assertRegex(lines[3], r"^\[error\] Error \(HRESULT=0x(8[0-9A-F]{7})\): Failed to create instance of "
                                   r"'Pexlo\.PowerPoint\.Addin' object\.$")
        self.assertEqual(lines[4:4 + len(REGISTRATION_HEADING)], REGISTRATION_HEADING)
        self.assertEqual(lines[-1], "[error] An error occurred. HRESULT=0x" + lines[3][25:33])
        self.assertEqual(run.log_lines(), lines)
        self.assertEqual(run.exit_status, 0)


class BrokenStandardOutput(unittest.TestCase):
    def run_with_output(self, redirection):
        run = run_kestrum(variant="working", report=False,
                          launcher=lambda exe: ["bash", "-c", f"{shlex.join(wine_command(exe))} {redirection}"])
        self.addCleanup(remove, run)
        return run.exit_status, run.log_bytes()

    def assert_whole_log(self, log):
        self.assertIn(b"[info] Successfully created Pexlo PowerPoint Addin object.\r\n", log)
        self.assertIn(b"[info] Listing .NET assemblies loaded by Pexlo add-in:\r\n", log)
        self.assertTrue(log.endswith(b"[info] Done.\r\n"), log[-300:])

    def test_closed_standard_output_still_writes_the_whole_log(self):
        status, log = self.run_with_output(">&-")
        self.assertEqual(status, 0)
        self.assert_whole_log(log)

    def test_failing_writes_to_standard_output_do_not_stop_the_run(self):
        status, log = self.run_with_output(">/dev/full")
        self.assertEqual(status, 0)
        self.assert_whole_log(log)


if __name__ == "__main__":
    unittest.main(verbosity=2)
