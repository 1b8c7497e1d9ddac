"""The module listing of a real run with the sample add-in loaded."""

import shutil
import unittest

from kestrum_run import ADDIN_FOLDER, BUILD, EXE, new_workdir, remove, run_kestrum, wine_command

HEADER = "[info] Listing all modules in process:"
# Where the system's hosting layer is, as the loader names it under Wine.
SYSTEM_MSCOREE = "C:\\windows\\system32\\mscoree.dll"
PLANTED_LIBRARY = BUILD / "tests" / "fixtures" / "planted_library" / "PlantedLibrary.dll"


def module_paths(lines):
    start = lines.index(HEADER) + 1
    end = lines.index("[info] ", start)
    return [line[len("[info]   "):].lower() for line in lines[start:end]]


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

    def test_a_native_addin_run_lists_no_hosting_layer(self):
        paths = module_paths(self.result.console_lines())
        self.assertEqual([path for path in paths if path.endswith("\\mscoree.dll")], [])

    def test_modules_loaded_and_freed_while_listed_are_named_whole_or_not_at_all(self):
        # The add-in's threads load and free DLLs all through the listing: a
        # name read from a module being torn down would be garbage, which its
        # control characters (escaped, so with '<') or a missing extension show.
        run = run_kestrum(variant="unloading_workers", scenario="no_runtime")
        self.addCleanup(remove, run)
        lines = run.console_lines()
        self.assertEqual(run.exit_status, 0)
        self.assertEqual(lines[-1], "[info] Done.")
        self.assertEqual(run.log_lines(), lines)
        modules = self.module_lines(lines)
        self.assertGreater(len(modules), 5)
        for line in modules:
            self.assertRegex(line, r'^\[info\]   [A-Za-z]:\\[^<>"|?*]+\.[A-Za-z0-9]{1,4}$')


class PlantedHostingLayer(unittest.TestCase):
    """A DLL named mscoree.dll beside kestrum.exe and in the working folder,
    where a bare-name load looks first, is never loaded."""

    def run_beside_planted_library(self, variant, scenario="no_runtime"):
        folder = new_workdir()
        self.addCleanup(shutil.rmtree, folder, True)
        program, work = folder / "program", folder / "work"
        program.mkdir()
        work.mkdir()
        shutil.copy2(EXE, program / "kestrum.exe")
        shutil.copy2(PLANTED_LIBRARY, program / "mscoree.dll")
        shutil.copy2(PLANTED_LIBRARY, work / "mscoree.dll")
        run = run_kestrum(variant=variant, scenario=scenario, workdir=work,
                          launcher=lambda exe: wine_command(program / "kestrum.exe"))
        self.assertEqual(sorted(path.name for path in folder.rglob("*.loaded")), [])
        lines = run.console_lines()
        self.assertEqual(lines[-1], "[info] Done.")
        return lines

    def test_managed_addin_gets_the_system_hosting_layer(self):
        lines = self.run_beside_planted_library("managed")
        self.assertIn(SYSTEM_MSCOREE.lower(), module_paths(lines))
        self.assertIn("[info]   Running using CLR Runtime v4.0.30319", lines)

    def test_native_addin_run_loads_the_hosting_layer_only_from_the_system(self):
        lines = self.run_beside_planted_library("working")
        self.assertNotIn(SYSTEM_MSCOREE.lower(), module_paths(lines))

    def test_native_addin_that_loads_the_hosting_layer_by_bare_name_gets_the_system_one(self):
        lines = self.run_beside_planted_library("loads_hosting_layer_by_name", scenario="one_runtime_already_loaded")
        self.assertIn(SYSTEM_MSCOREE.lower(), module_paths(lines))
        self.assertIn("[info]   Running using CLR Runtime v4.0.30319", lines)


if __name__ == "__main__":
    unittest.main(verbosity=2)
