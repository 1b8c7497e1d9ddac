"""Creating the add-in in-process: each way it can go, seen from outside."""

import unittest

from kestrum_run import BANNER, OTHER_BITNESS_ONLY, remove, run_kestrum
CREATE_FAILED = "[error] Error (HRESULT=0x{code}): Failed to create instance of 'Pexlo.PowerPoint.Addin' object."


class Activation(unittest.TestCase):
    def run_variant(self, variant, **options):
        run = run_kestrum(variant=variant, **options)
        self.addCleanup(remove, run)
        self.assertEqual(run.exit_status, 0, run.stdout[-2000:] + run.stderr)
        self.assertEqual(run.log_lines(), run.console_lines())
        return run

    def assert_creation_failed(self, variant, code):
        run = self.run_variant(variant)
        self.assertEqual(run.console_lines(), BANNER + [
            CREATE_FAILED.format(code=code),
            f"[error] An error occurred. HRESULT=0x{code}",
        ])
        self.assertNotIn(b"Listing", run.stdout)

    def test_unregistered_identifier_gives_two_error_records_with_one_code(self):
        run = self.run_variant(None)
        self.assertEqual(run.console_lines(), BANNER + [
            "[error] Error (HRESULT=0x800401F3): Failed to get class ID (CLSID) for 'Pexlo.PowerPoint.Addin' object.",
            "[error] An error occurred. HRESULT=0x800401F3",
        ])

    def test_registered_server_whose_dll_is_missing_fails_creation(self):
        run = self.run_variant("missing_server")
        lines = run.console_lines()
        self.assertEqual(lines[:3], BANNER)
        self.assertRegex(lines[3], r"^\[error\] Error \(HRESULT=0x8[0-9A-F]{7}\): Failed to create instance of "
                                   r"'Pexlo\.PowerPoint\.Addin' object\.$")
        code = lines[3][len("[error] Error (HRESULT=0x"):][:8]
        self.assertEqual(lines[4:], [f"[error] An error occurred. HRESULT=0x{code}"])

    def test_class_factory_failure_code_is_reported_as_eight_hex_digits(self):
        self.assert_creation_failed("factory_fails", "8004D00A")

    def test_success_without_an_object_is_a_creation_failure_not_a_crash(self):
        self.assert_creation_failed("null_object", "80004003")

    def test_managed_registration_naming_a_runtime_not_installed_fails_creation(self):
        # CLR_E_SHIM_RUNTIMELOAD, as the hosting layer answers for it.
        self.assert_creation_failed("managed_missing_runtime", "80131700")

    def test_class_registered_only_for_the_other_bitness_is_not_registered_here(self):
        # The ProgID resolves; the class is missing from this edition's registry view.
        self.assert_creation_failed(OTHER_BITNESS_ONLY, "80040154")

    def test_sample_addin_is_created_and_the_run_ends_done(self):
        run = self.run_variant("working", scenario="no_runtime")
        lines = run.console_lines()
        self.assertEqual(lines[:5], BANNER + ["[info] Successfully created Pexlo PowerPoint Addin object.", "[info] "])
        self.assertEqual(lines[-1], "[info] Done.")


if __name__ == "__main__":
    unittest.main(verbosity=2)
