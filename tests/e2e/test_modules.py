"""The module listing of a real run with the sample add-in loaded."""

import unittest

from kestrum_run import ADDIN_FOLDER, EXE, remove, run_kestrum

HEADER = "[info] Listing all modules in process:"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class ModuleListing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.result = run_kestrum(variant="working", scenario="no_runtime")

    @classmethod
    def tearDownClass(cls):
        remove(cls.result)

    def module_lines(self, lines):
        start = lines.index(HEADER) + 1
        end = lines.index("[info] ", start)
        return lines[start:end]

    def test_every_module_line_is_a_full_path_indented_by_exactly_two_blanks(self):
        modules = self.module_lines(self.result.console_lines())
        self.assertGreater(len(modules), 5)
        for line in modules:
            self.assertRegex(line, r"^\[info\]   [A-Za-z]:\\[^ ].*$")
            self.assertFalse(line.startswith("[info]    "), line)

    def test_the_program_itself_comes_first_and_the_addin_dll_is_listed(self):
        modules = [line[len("[info]   "):] for line in self.module_lines(self.result.console_lines())]
        self.assertEqual(modules[0].lower(), windows_path(EXE).lower())
        self.assertIn(ADDIN_FOLDER + "\\PexloSampleAddin.dll", modules)
        self.assertEqual(len(modules), len(set(modules)), "no module is listed twice")

    def test_non_ascii_folder_is_utf8_in_console_and_file(self):
        expected = ("[info]   " + ADDIN_FOLDER + "\\PexloSampleAddin.dll\r\n").encode("utf-8")
        self.assertIn(expected, self.result.stdout)
        self.assertIn(expected, self.result.log_bytes())
        self.assertEqual(self.module_lines(self.result.log_lines()), self.module_lines(self.result.console_lines()))

    def test_run_ends_done(self):
        self.assertEqual(self.result.exit_status, 0)
        self.assertEqual(self.result.console_lines()[-1], "[info] Done.")


if __name__ == "__main__":
    unittest.main(verbosity=2)
