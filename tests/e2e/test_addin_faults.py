"""An add-in that faults must not take the diagnosis with it."""

import shlex
import unittest

from kestrum_run import ADDIN_FOLDER, BANNER, REGISTRATION_HEADING, remove, run_kestrum, wine_command
ADDIN_DLL = ADDIN_FOLDER.replace("\\", "\\\\") + r"\\PexloSampleAddin\.dll"


EXCEPTION = "exception 0x{code:08X}"
ABORT = "abort\\(\\) was called"
# abort() ends a process with STATUS_FATAL_APP_EXIT.
FATAL_APP_EXIT = 0x40000015


class AddinFaults(unittest.TestCase):
    def assert_crash_reported(self, variant, code, what=EXCEPTION, scenario="one_runtime", dll=ADDIN_DLL):
        """The crash record and its verdict are the last two records on the
        console and in the log, whatever else was still being written."""
        run = run_kestrum(variant=variant, scenario=scenario)
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(lines[:3], BANNER)
        self.assertRegex(lines[-2], rf"^\[error\] The process crashed: {what.format(code=code)} "
                                    rf"at 0x[0-9A-F]{{16}} in {dll}\.$")
        self.assertEqual(lines[-1], f"[error] An error occurred. HRESULT=0x{code:08X}")
        self.assertEqual(run.log_lines(), lines, "the log file holds every record")
        self.assertEqual(run.exit_status, code & 0xFF, "the exit status is the exception code")
        return lines

    def test_access_violation_in_dll_get_class_object(self):
        self.assertEqual(len(self.assert_crash_reported("crash_in_get_class_object", 0xC0000005)), 5)

    def test_access_violation_while_the_object_is_built(self):
        self.assertEqual(len(self.assert_crash_reported("crash_in_construction", 0xC0000005)), 5)

    def test_cxx_exception_escaping_create_instance(self):
        self.assertEqual(len(self.assert_crash_reported("throw_from_create_instance", 0x20474343)), 5)

    def test_cxx_exception_through_a_shared_cxx_runtime_names_the_addin_not_the_runtime(self):
        self.assert_crash_reported("throw_through_shared_runtime", 0x20474343,
                                   dll=ADDIN_DLL.replace("PexloSampleAddin", "PexloSampleAddinDynamicRuntime"))

    def test_abort_is_reported_as_an_abort_with_its_caller(self):
        self.assert_crash_reported("abort_in_create_instance", FATAL_APP_EXIT, what=ABORT)

    def test_abort_after_a_caught_exception_is_still_an_abort(self):
        self.assert_crash_reported("abort_after_caught_throw", FATAL_APP_EXIT, what=ABORT)

    def test_worker_thread_fault_during_the_assembly_listing_ends_the_records(self):
        lines = self.assert_crash_reported("faulting_worker", 0xC0000005, scenario="many_assemblies")
        self.assertIn("[info] Listing .NET assemblies loaded by Pexlo add-in:", lines)

    def test_worker_threads_throwing_and_catching_do_not_disturb_the_run(self):
        run = run_kestrum(variant="throwing_workers", scenario="many_assemblies")
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(run.exit_status, 0)
        self.assertEqual(lines[-1], "[info] Done.")
        self.assertEqual(sum(line.startswith("[info]     Path: ") for line in lines), 20000)
        self.assertEqual(run.log_lines(), lines)
        self.assertLess(run.ended - run.started, 60, "no hang, no crawl")

    def test_no_chance_to_write_leaves_the_records_so_far_and_no_verdict(self):
        # Stack overflow and fail-fast end the process past every handler.
        for variant in ("stack_overflow", "fast_fail"):
            with self.subTest(variant):
                run = run_kestrum(variant=variant)
                self.addCleanup(remove, run)
                self.assertEqual(run.console_lines(), BANNER)
                self.assertEqual(run.log_lines(), BANNER)
                self.assertNotEqual(run.exit_status, 0)

    def test_fault_in_dll_main_is_contained_as_a_creation_failure(self):
        run = run_kestrum(variant="crash_in_dll_main")
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(lines[:3], BANNER)
        self.assertRegex(lines[3], r"^\[error\] Error \(HRESULT=0x(8[0-9A-F]{7})\): Failed to create instance of "
                                   r"'Pexlo\.PowerPoint\.Addin' object\.$")
        self.assertEqual(lines[4:6], REGISTRATION_HEADING)
        self.assertEqual(lines[-1], "[error] An error occurred. HRESULT=0x" + lines[3][25:33])
        self.assertEqual(run.log_lines(), lines)
        self.assertEqual(run.exit_status, 0)


class BrokenStandardOutput(unittest.TestCase):
    def run_with_output(self, redirection):
        run = run_kestrum(variant="working", scenario="one_runtime", report=False,
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
