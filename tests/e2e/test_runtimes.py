"""The runtime and assembly listing of whole runs, against golden transcripts.

Each scenario of the stand-in hosting layer is run through the real
kestrum.exe with the sample add-in; everything from the runtime section's
header to the verdict must match golden/<scenario>.txt exactly, on the console
and (timestamps aside) in the log file; the edition's add-in folder stands
there as {ADDIN_FOLDER}. The stand-in's own count of
references and arrays must balance after every run.

    python3 test_runtimes.py --regenerate   rewrites the golden files
"""

import sys
import unittest
from pathlib import Path

from kestrum_run import ADDIN_FOLDER, BANNER, FRAMEWORK_FOLDER, remove, run_kestrum

GOLDEN = Path(__file__).resolve().parent / "golden"
SECTION = "[info] Listing .NET assemblies loaded by Pexlo add-in:"
REGENERATE = "--regenerate" in sys.argv

# Nothing loaded, and the hosting layer's own failures; then runtimes scripted
# as loaded before the run, whose names say so.
SCENARIOS = ["no_runtime", "fail_create_instance", "fail_enumerate", "null_enumerator"] + [
    name + "_already_loaded" for name in (
    "one_runtime", "two_runtimes", "fail_query_runtime_info", "fail_get_version_string", "fail_get_interface",
    "fail_start", "start_returns_s_false", "fail_get_default_domain", "fail_query_app_domain",
    "fail_get_assemblies", "null_array", "empty_array", "lower_bound_5", "null_elements", "not_an_assembly",
    "name_failure", "location_not_supported", "location_failure", "empty_location", "null_bstrs", "unknown_array",
    "dispatch_array", "bstr_array", "variant_array", "two_dimensional_array", "non_ascii", "platform_text",
    "failed_then_working", "long_version_string", "enumerator_not_s_ok", "enumerator_s_false_with_element",
    "enumerator_fails", "name_failure_lower_bound_5")]


def runtime_section(lines):
    return lines[lines.index(SECTION):]


class RuntimeTranscripts(unittest.TestCase):
    def check_scenario(self, scenario, variant="working", golden_name=None, names=None):
        run = run_kestrum(variant=variant, scenario=scenario)
        self.addCleanup(remove, run)
        self.assertEqual(run.exit_status, 0)
        self.assertEqual(run.stderr, run.log_location_line(), "nothing else on standard error")
        console = run.console_lines()
        self.assertEqual(run.log_lines(), console)
        section = runtime_section(console)
        # The edition's folders by name: one golden serves both editions.
        for folder, name in (names or {ADDIN_FOLDER: "{ADDIN_FOLDER}"}).items():
            section = [line.replace(folder, name) for line in section]
        golden = GOLDEN / f"{golden_name or scenario}.txt"
        if REGENERATE:
            golden.write_text("\n".join(section) + "\n", encoding="utf-8")
        self.assertEqual(section, golden.read_text(encoding="utf-8").splitlines())
        report = run.stand_in_report
        self.assertEqual(report.get("scenario"), scenario)
        self.assertEqual(report.get("outstanding_references"), "0", report)
        self.assertEqual(report.get("arrays_created"), report.get("arrays_destroyed"), report)
        return console

    def test_managed_addin(self):
        # The sample registered as a .NET add-in is: the hosting layer from the
        # system folder serves it, and the runtime it started lists its assembly.
        console = self.check_scenario("no_runtime", variant="managed", golden_name="managed_addin",
                                      names={ADDIN_FOLDER: "{ADDIN_FOLDER}", FRAMEWORK_FOLDER + "\\": "{FRAMEWORK}\\"})
        modules_end = console.index(SECTION) - 1
        self.assertEqual(console[:6], BANNER + ["[info] Successfully created Pexlo PowerPoint Addin object.", "[info] ",
                                                "[info] Listing all modules in process:"])
        self.assertEqual(console[modules_end], "[info] ")
        modules = [line.lower() for line in console[6:modules_end]]
        self.assertIn("[info]   c:\\windows\\system32\\mscoree.dll", modules)


def add_scenario_test(scenario):
    setattr(RuntimeTranscripts, f"test_{scenario}", lambda self: self.check_scenario(scenario))


for name in SCENARIOS:
    add_scenario_test(name)


class ManyAssemblies(unittest.TestCase):
    def test_twenty_thousand_assemblies_are_all_listed(self):
        run = run_kestrum(variant="working", scenario="many_assemblies_already_loaded")
        self.addCleanup(remove, run)
        section = runtime_section(run.console_lines())
        names = [line for line in section if line.startswith("[info]   Assembly")]
        paths = [line for line in section if line.startswith("[info]     Path: ")]
        self.assertEqual(len(names), 20000)
        self.assertEqual(len(paths), 20000)
        self.assertEqual(section[-1], "[info] Done.")
        self.assertEqual(run.log_lines()[-1], "[info] Done.")
        self.assertEqual(run.stand_in_report.get("outstanding_references"), "0")


if __name__ == "__main__":
    unittest.main(verbosity=2, argv=[arg for arg in sys.argv if arg != "--regenerate"])
