"""Creating the add-in in-process: each way it can go, seen from outside."""

import hashlib
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
from functools import cache
from pathlib import Path

import kestrum_run
from kestrum_run import (ADDIN_FOLDER, BANNER, CONNECTS, EDITION, EXE, IS_X86, NO_CRASH_REPORTS, NO_POWERPOINT,
                         OTHER_BITNESS_ONLY, OTHER_EXE_NAME, OTHER_REGISTRY_VIEW, POWERPOINT_NOT_FOUND, PREFIX,
                         PROG_ID_NOT_REGISTERED, REGISTRATION_HEADING, REGISTRY_VIEW, SYSTEM_FOLDER, VIEW_NAMES,
                         crash_reports, remove, run_kestrum, split_at_powerpoint_view, wine64_quietly)
CREATE_FAILED = "[error] Error (HRESULT=0x{code}): Failed to create instance of 'Pexlo.PowerPoint.Addin' object."
FAILURE_RECORD = re.compile(r"^\[error\] Error \(HRESULT=0x(8[0-9A-F]{7})\): Failed to "
                            r"(?:get class ID \(CLSID\) for|create instance of) 'Pexlo\.PowerPoint\.Addin' object\.$")


def assert_failed_with_report(test, run, code=None):
    """The banner, the failure record, the registration report, PowerPoint's
    view, the verdict with the failure's code; returns the report's records
    after its heading and the view's."""
    lines = run.console_lines()
    test.assertEqual(lines[:3], BANNER)
    failure = FAILURE_RECORD.match(lines[3])
    test.assertTrue(failure, lines[3])
    if code is not None:
        test.assertEqual(lines[3], CREATE_FAILED.format(code=code))
    test.assertEqual(lines[4:4 + len(REGISTRATION_HEADING)], REGISTRATION_HEADING)
    test.assertEqual(lines[-1], f"[error] An error occurred. HRESULT=0x{failure.group(1)}")
    test.assertNotIn(b"Listing", run.stdout)
    report, view = split_at_powerpoint_view(lines)
    return report[4 + len(REGISTRATION_HEADING):], view


class Activation(unittest.TestCase):
    def run_variant(self, variant, **options):
        run = run_kestrum(variant=variant, **options)
        self.addCleanup(remove, run)
        self.assertEqual(run.exit_status, 0, run.stdout[-2000:] + run.stderr)
        self.assertEqual(run.log_lines(), run.console_lines())
        return run

    def assert_creation_failed(self, variant, code):
        assert_failed_with_report(self, self.run_variant(variant), code)

    def test_unregistered_identifier_gives_two_error_records_with_one_code(self):
        run = self.run_variant(None)
        self.assertEqual(run.console_lines(), BANNER + [
            "[error] Error (HRESULT=0x800401F3): Failed to get class ID (CLSID) for 'Pexlo.PowerPoint.Addin' object.",
            *REGISTRATION_HEADING, PROG_ID_NOT_REGISTERED, *NO_POWERPOINT, POWERPOINT_NOT_FOUND, *NO_CRASH_REPORTS,
            "[error] An error occurred. HRESULT=0x800401F3",
        ])

    def test_registered_server_whose_dll_is_missing_fails_creation(self):
        assert_failed_with_report(self, self.run_variant("missing_server"))

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
        self.assertNotIn(b"Registration of", run.stdout)
        self.assertEqual(split_at_powerpoint_view(lines)[1], NO_POWERPOINT[2:] + [
            f"[info]   Server: {ADDIN_FOLDER}\\PexloSampleAddin.dll, no version information", CONNECTS,
            POWERPOINT_NOT_FOUND])

    def test_an_object_without_idtextensibility2_is_created_but_cannot_be_connected(self):
        lines = self.run_variant("without_extensibility", scenario="no_runtime").console_lines()
        self.assertEqual((lines[:3], lines[-1]), (BANNER, "[info] Done."))
        self.assertEqual(split_at_powerpoint_view(lines)[1][-2:], [
            "[info]   The add-in's object does not implement IDTExtensibility2 (HRESULT=0x80004002): PowerPoint "
            "cannot connect it as a COM add-in.", POWERPOINT_NOT_FOUND])

    def test_a_powerpoint_running_now_is_named_by_its_process(self):
        ready = kestrum_run.new_workdir() / "ready"
        self.addCleanup(shutil.rmtree, ready.parent, True)
        stand_in = PREFIX / "drive_c" / POWERPOINT_EXE[EDITION][3:].replace("\\", "/")
        powerpoint = subprocess.Popen(kestrum_run.wine_command(stand_in) + ["60", "Z:" + str(ready).replace("/", "\\")],
                                      env=kestrum_run.wine_environment(), stdin=subprocess.DEVNULL)
        self.addCleanup(powerpoint.wait)
        self.addCleanup(powerpoint.kill)
        for _ in range(300):
            if ready.exists() or powerpoint.poll() is not None:
                break
            time.sleep(0.1)
        self.assertTrue(ready.exists(), "the PowerPoint stand-in did not start")
        lines = self.run_variant("working", scenario="no_runtime").console_lines()
        self.assertEqual((lines[:3], lines[-1]), (BANNER, "[info] Done."))
        self.assertRegex(split_at_powerpoint_view(lines)[1][-3],
                         r"^\[info\]   PowerPoint is running now \(process [1-9][0-9]*\): it writes its add-in settings "
                         r"back when it closes, so change them with PowerPoint closed\.$")


# The registration table: each row writes its own keys, under class IDs of its
# own, so what it expects depends on nothing the fixtures registered.
PROG_ID = "Pexlo.PowerPoint.Addin"
USER_CLASSES, MACHINE_CLASSES = "HKCU\\Software\\Classes", "HKLM\\Software\\Classes"
ROW_CLASSES = ["{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F01}", "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F02}",
               "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F03}", "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F04}",
               "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F05}", "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F06}",
               "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F07}", "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F08}",
               "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F09}", "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F0A}",
               "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F0B}", "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F0C}",
               "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F0D}", "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F0E}",
               "{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F0F}"]
SERVER = ADDIN_FOLDER + "\\PexloSampleAddin.dll"
MISSING_SERVER = ADDIN_FOLDER + "\\PexloSampleAddinNeverInstalled.dll"
THIS_VIEW = VIEW_NAMES[REGISTRY_VIEW] + " (this edition's)"
OTHER_VIEW = VIEW_NAMES[OTHER_REGISTRY_VIEW]
TABLE_ROW = "registration table row"
WORKDIR = "<the run's working folder>"  # a row's expected records name it so
REST = "<and the rest>"  # an expected record ending so is the start of the record: PATH is Wine's
# The library only the other bitness's build of one sample variant finds: in every row's working folder.
OTHER_BUILD_LIBRARY = ((kestrum_run.BUILD if IS_X86 else kestrum_run.BUILD / "x86") /
                       "tests/fixtures/sample_addin/libraries/PexloOtherBitness.dll")
NDP_4 = "HKLM\\Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full"


def prog_id_names(class_id, root=MACHINE_CLASSES, view=REGISTRY_VIEW, kind="REG_SZ"):
    return [root + "\\" + PROG_ID + "\\CLSID", None, kind, class_id, view]


def text_bytes(text, tail=b""):
    """Text as a .reg file's hex(1) gives REG_SZ bytes: UTF-16, then |tail|."""
    return ",".join(f"{byte:02x}" for byte in text.encode("utf-16-le") + tail)


def server(class_id, data, name=None, kind="REG_SZ", view=REGISTRY_VIEW):
    return [MACHINE_CLASSES + "\\CLSID\\" + class_id + "\\InprocServer32", name, kind, data, view]


def native_server(class_id, path, view=REGISTRY_VIEW, kind="REG_SZ"):
    return [server(class_id, path, view=view, kind=kind), server(class_id, "Both", "ThreadingModel", view=view)]


def prog_id_lines(class_id, scope="per machine", root="HKEY_LOCAL_MACHINE", shadowed=""):
    return [f"[info]   ProgID {scope}, in {root}\\Software\\Classes{shadowed}:", f"[info]     CLSID: {class_id}"]


def class_lines(class_id, view, server_said=None):
    if server_said is None:
        return [f"[info]   Class {class_id} in the {view}: not registered"]
    return [f"[info]   Class {class_id} in the {view}, per machine:", f"[info]     InprocServer32: {server_said}",
            "[info]     ThreadingModel: Both"]


def dependency_lines(*records, looked_for=True):
    """The section on what loading the server needs, ending in where the loader looked."""
    looked = f"Looked for in: {ADDIN_FOLDER}; {SYSTEM_FOLDER}; C:\\windows; {WORKDIR}; {REST}"
    return ["[info] ", "[info] What loading the add-in's server needs:",
            *("[info]   " + record for record in records + ((looked,) if looked_for else ()))]


def registration_rows():
    """(name, registry values to add, the report's records after its heading)."""
    (user, machine, other, system32, expandable, mistyped, managed, unknown, quoted, bare, relative, odd,
     not_installed, beside, other_bitness) = ROW_CLASSES
    needs = {name: f"{ADDIN_FOLDER}\\PexloSampleAddinNeeds_{name}.dll" for name in ("not_installed", "beside",
                                                                                    "other_bitness")}
    found_every = f"Found every library it imports ({REST}"
    sample_name, beside_windows = SERVER.rsplit("\\", 1)[1], "..\\" + SERVER[3:]
    gone_url = "file:///" + ADDIN_FOLDER.replace("\\", "/") + "/Pexlo.PowerPoint.Addin.Gone.DLL"
    managed_values = {"Class": "Pexlo.PowerPoint.Addin.Connect", "RuntimeVersion": "v2.0.50727",
                      "Assembly": "Pexlo.PowerPoint.Addin, Version=2.9.0.0, Culture=neutral, PublicKeyToken=null",
                      "CodeBase": gone_url}
    return [
        ("per-user ProgID over the machine-wide one",
         [prog_id_names(user, USER_CLASSES), prog_id_names(machine),
          *native_server(user, SERVER), *native_server(machine, MISSING_SERVER)],
         prog_id_lines(user, "per user", "HKEY_CURRENT_USER") +
         prog_id_lines(machine, shadowed=" (shadowed by the per-user one)") +
         class_lines(user, THIS_VIEW, SERVER + " (the file exists)") + class_lines(user, OTHER_VIEW) +
         class_lines(machine, THIS_VIEW, MISSING_SERVER + " (no such file)") + class_lines(machine, OTHER_VIEW)),
        ("class in the other view only",
         [prog_id_names(other), *native_server(other, SERVER, OTHER_REGISTRY_VIEW)],
         prog_id_lines(other) + class_lines(other, THIS_VIEW) +
         class_lines(other, OTHER_VIEW, SERVER + " (the file exists)") +
         [f"[info]   The class is registered for {OTHER_VIEW.split()[0]} programs only: run {OTHER_EXE_NAME}."]),
        ("server file missing",
         [prog_id_names(system32), *native_server(system32, MISSING_SERVER)],
         prog_id_lines(system32) + class_lines(system32, THIS_VIEW, MISSING_SERVER + " (no such file)") +
         class_lines(system32, OTHER_VIEW)),
        (".NET registration asking for 2.0 where only 4.8 is installed, whose CodeBase is gone",
         [prog_id_names(managed), *native_server(managed, "mscoree.dll"),
          *(server(managed, value, name) for name, value in managed_values.items()),
          [NDP_4, "Release", "REG_DWORD", "528040", REGISTRY_VIEW]],
         prog_id_lines(managed) +
         class_lines(managed, THIS_VIEW, f"mscoree.dll (the file exists: {SYSTEM_FOLDER}\\mscoree.dll)") +
         [f"[info]     {name}: {managed_values[name]}" for name in ("Class", "Assembly", "RuntimeVersion")] +
         [f"[info]     CodeBase: {gone_url} (no such file: {ADDIN_FOLDER}\\Pexlo.PowerPoint.Addin.Gone.DLL)"] +
         class_lines(managed, OTHER_VIEW) +
         dependency_lines(".NET Framework: 4.8 (release 528040)",
                          "The add-in asks for runtime v2.0.50727: not installed.", looked_for=False)),
        ("REG_EXPAND_SZ server",
         [prog_id_names(expandable), *native_server(expandable, "%SystemDrive%" + SERVER[2:], kind="REG_EXPAND_SZ")],
         prog_id_lines(expandable) +
         class_lines(expandable, THIS_VIEW,
                     f"%SystemDrive%{SERVER[2:]} (REG_EXPAND_SZ), expanded: {SERVER} (the file exists)") +
         class_lines(expandable, OTHER_VIEW) + dependency_lines(found_every, looked_for=False)),
        ("server value of the wrong type",
         [prog_id_names(mistyped), *native_server(mistyped, "1", kind="REG_DWORD")],
         prog_id_lines(mistyped) + class_lines(mistyped, THIS_VIEW, "not text but REG_DWORD") +
         class_lines(mistyped, OTHER_VIEW)),
        ("no ProgID", [], [PROG_ID_NOT_REGISTERED]),
        ("quoted server with arguments", [prog_id_names(quoted), *native_server(quoted, f'"{SERVER}" /embedding')],
         prog_id_lines(quoted) + class_lines(quoted, THIS_VIEW, f'"{SERVER}" /embedding (quoted) (the file exists: '
                                             f'{SERVER})') + class_lines(quoted, OTHER_VIEW) +
         dependency_lines(found_every, looked_for=False)),
        ("bare server name found in the working folder", [prog_id_names(bare), *native_server(bare, sample_name)],
         prog_id_lines(bare) + class_lines(bare, THIS_VIEW, f"{sample_name} (found through the search path: "
                                           f"{WORKDIR}\\{sample_name}) (a planting risk: found in the working folder, "
                                           "which depends on how the program was started)") +
         class_lines(bare, OTHER_VIEW)),
        ("relative server path found from the Windows folder",
         [prog_id_names(relative), *native_server(relative, beside_windows)],
         prog_id_lines(relative) + class_lines(relative, THIS_VIEW, f"{beside_windows} (found through the search path: "
                                               f"C:\\windows\\{beside_windows})") + class_lines(relative, OTHER_VIEW)),
        ("CLSID values holding a null, or an odd byte",
         [prog_id_names(text_bytes(f"{odd}\0{unknown}\0"), USER_CLASSES, kind="hex(1)"),
          prog_id_names(text_bytes(odd, b"A"), kind="hex(1)")],
         prog_id_lines(f"{odd}<U+0000>{unknown} (not a class ID)", "per user", "HKEY_CURRENT_USER") +
         prog_id_lines(f"{odd} (odd length: the last byte is ignored)", shadowed=" (shadowed by the per-user one)") +
         class_lines(odd, THIS_VIEW) + class_lines(odd, OTHER_VIEW)),
        *((f"sample importing {what}", [prog_id_names(class_id), *native_server(class_id, needs[name])],
           prog_id_lines(class_id) + class_lines(class_id, THIS_VIEW, needs[name] + " (the file exists)") +
           class_lines(class_id, OTHER_VIEW) + dependency_lines(record.format(needs[name]), looked_for=looked))
          for class_id, name, what, record, looked in [
              (not_installed, "not_installed", "a library that is not installed",
               "Missing: PexloNotInstalled.dll, imported by {}", True),
              (beside, "beside", "a library beside it that imports one that is not installed",
               f"Missing: PexloNotInstalled.dll, imported by {ADDIN_FOLDER}\\PexloBesideLibrary.dll", True),
              (other_bitness, "other_bitness", "a library of the other bitness",
               f"Wrong bitness: {WORKDIR}\\PexloOtherBitness.dll is {BITS[OTHER_EDITION]}-bit, imported by {{}}",
               False)]),
        ("ProgID naming a class ID that has no class",
         [prog_id_names(unknown)],
         prog_id_lines(unknown) + class_lines(unknown, THIS_VIEW) + class_lines(unknown, OTHER_VIEW)),
    ]


# PowerPoint's state: the stand-in PowerPoint of each bitness (a program file
# with a version resource, never run) where prepare-prefix.sh put it, and the
# keys the rows write, each holding nothing but what a row put there.
OTHER_EDITION = "x64" if IS_X86 else "x86"
OFFICE_ROOT = {edition: f"C:\\Pexlo Office Stand-in ({edition})" for edition in ("x64", "x86")}
POWERPOINT_EXE = {edition: root + "\\root\\Office16\\POWERPNT.EXE" for edition, root in OFFICE_ROOT.items()}
BITS = {"x64": "64", "x86": "32"}
APP_PATHS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\powerpnt.exe"
OFFICE = "Software\\Microsoft\\Office"
ENTRY = OFFICE + "\\PowerPoint\\Addins\\" + PROG_ID
USER_16 = "HKCU\\" + OFFICE + "\\16.0\\PowerPoint\\Resiliency"
POLICIES_16 = "Software\\Policies\\Microsoft\\Office\\16.0\\PowerPoint"
# Click-to-Run's copy of the machine's registry, read in the 64-bit view.
CLICK_TO_RUN_ENTRY = (OFFICE + "\\ClickToRun\\REGISTRY\\MACHINE\\Software\\" + ("Wow6432Node\\" if IS_X86 else "") +
                      ENTRY.removeprefix("Software\\"))
CLOUD_16 = "Software\\Policies\\Microsoft\\Cloud\\Office\\16.0\\PowerPoint"
POWERPOINT_KEYS = [root + "\\" + key for root in ("HKCU", "HKLM") for key in
                   (OFFICE + "\\PowerPoint", OFFICE + "\\16.0", "Software\\Policies\\Microsoft\\Office",
                    "Software\\Policies\\Microsoft\\Cloud")]
POWERPOINT_KEYS.append("HKLM\\" + OFFICE + "\\ClickToRun")


def disabled_item(path, name):
    """A Resiliency\\DisabledItems record as reg add takes REG_BINARY: hex."""
    texts = [(text + "\0").encode("utf-16-le") for text in (path, name)]
    return struct.pack("<III", 1, len(texts[0]), len(texts[1])).hex() + b"".join(texts).hex()


def powerpoint_lines(edition, *records, conclusion):
    return [f"[info]   PowerPoint: {POWERPOINT_EXE[edition]} ({BITS[edition]}-bit, version 16.0.5452.1000)",
            *records, "[info]   " + conclusion]


SIGNER = "Kestrum test signer"


@cache
def signed_servers():
    """Copies of the sample server in the prefix, signed by a throwaway
    certificate as the release check signs (osslsigncode), one of them altered
    after signing; and the certificate as a system store keeps it, by its
    SHA-1 thumbprint: one serialized element, the certificate itself."""
    work = Path(tempfile.mkdtemp(prefix="kestrum-signer-", dir=kestrum_run.BUILD))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", f"/CN={SIGNER}",
                    "-addext", "extendedKeyUsage=codeSigning", "-keyout", work / "key.pem", "-out", work / "cert.pem"],
                   capture_output=True, check=True)
    der = subprocess.run(["openssl", "x509", "-in", work / "cert.pem", "-outform", "DER"], capture_output=True,
                         check=True).stdout
    signed, altered = (ADDIN_FOLDER + f"\\PexloSampleAddin{kind}.dll" for kind in ("Signed", "Altered"))
    in_prefix = [PREFIX / "drive_c" / path[3:].replace("\\", "/") for path in (SERVER, signed, altered)]
    in_prefix[1].unlink(missing_ok=True)  # osslsigncode writes no file that is there
    subprocess.run(["osslsigncode", "sign", "-certs", work / "cert.pem", "-key", work / "key.pem", "-h", "sha256",
                    "-in", in_prefix[0], "-out", in_prefix[1]], capture_output=True, check=True)
    image = bytearray(in_prefix[1].read_bytes())
    image[0x1010] ^= 0xFF  # in the code, which the signature's digest covers
    in_prefix[2].write_bytes(image)
    shutil.rmtree(work)
    return signed, altered, hashlib.sha1(der).hexdigest().upper(), struct.pack("<III", 32, 1, len(der)).hex() + der.hex()


def certificate_keys():
    thumbprint = signed_servers()[2]
    return [f"{root}\\Software\\Microsoft\\SystemCertificates\\{store}\\Certificates\\{thumbprint}"
            for root, store in (("HKCU", "TrustedPublisher"), ("HKLM", "Root"))]


def powerpoint_rows():
    """(name, registry values, None: the report goes unchecked, PowerPoint's view)."""
    soft, other, click, trusting, elsewhere, signed_class, altered_class = ROW_CLASSES[:7]
    this_powerpoint = [APP_PATHS, None, "REG_SZ", POWERPOINT_EXE[EDITION], REGISTRY_VIEW]
    security, trust_center = "HKCU\\" + OFFICE + "\\16.0\\PowerPoint\\Security", "[info]   Trust Center (this user): "
    signed, altered, _, blob = signed_servers()
    powerpoint_found = [APP_PATHS, None, "REG_EXPAND_SZ", f'"%SystemDrive%{POWERPOINT_EXE[EDITION][2:]}"', REGISTRY_VIEW]
    signature_asked = ["HKCU\\" + POLICIES_16 + "\\Security", "RequireAddinSig", "REG_DWORD", "1", REGISTRY_VIEW]
    asked_record = ("[info]   Disabled items of PowerPoint 16.0: none",
                    "[info]   Policy (HKCU): add-ins must be signed by a trusted publisher (Security\\RequireAddinSig = 1)")
    entry_heading = f"[info]   Add-in entry per machine, in HKEY_LOCAL_MACHINE\\{ENTRY} ({{}}-bit registry view):"
    server_line = f"[info]   Server: {SERVER}, no version information"
    return [
        ("soft-disabled per user over a machine-wide entry",
         [prog_id_names(soft), *native_server(soft, SERVER),
          [APP_PATHS, None, "REG_EXPAND_SZ", f'"%SystemDrive%{POWERPOINT_EXE[EDITION][2:]}"', REGISTRY_VIEW],
          ["HKCU\\" + ENTRY, "LoadBehavior", "REG_DWORD", "2", REGISTRY_VIEW],
          ["HKCU\\" + ENTRY, "FriendlyName", "REG_SZ", "Pexlo Add-in", REGISTRY_VIEW],
          ["HKLM\\" + ENTRY, "LoadBehavior", "REG_DWORD", "3", REGISTRY_VIEW],
          ["HKLM\\" + ENTRY, "Manifest", "REG_SZ", "file:///C:/Pexlo/Gone.vsto|vstolocal", REGISTRY_VIEW],
          [USER_16 + "\\DisabledItems", "7A1", "REG_BINARY", disabled_item("c:\\other\\addin.dll", "Other"),
           REGISTRY_VIEW]],
         None,
         powerpoint_lines(
             EDITION,
             f"[info]   Add-in entry per user, in HKEY_CURRENT_USER\\{ENTRY}:",
             "[info]     LoadBehavior: 2 (set to load at startup but not loaded: PowerPoint does this after the "
             "add-in failed to load, or when the user unloaded it)", "[info]     FriendlyName: Pexlo Add-in",
             entry_heading.format(BITS[EDITION]), "[info]     LoadBehavior: 3 (loads at startup)",
             "[info]     Manifest: file:///C:/Pexlo/Gone.vsto|vstolocal (no such file)", server_line,
             "[info]   Disabled items of PowerPoint 16.0: 1, none of them this add-in",
             conclusion="PowerPoint will not try to load the add-in when it starts: its LoadBehavior is 2 (per user, "
             "over 3 per machine); it is listed as inactive under File > Options > Add-ins > Manage: COM Add-ins.")),
        ("PowerPoint of the other bitness, disabled, under policies",
         # Windows keeps one ProgID key for both views; Wine keeps one per view.
         [prog_id_names(other), prog_id_names(other, view=OTHER_REGISTRY_VIEW), *native_server(other, SERVER, OTHER_REGISTRY_VIEW),
          ["HKLM\\" + OFFICE + "\\16.0\\PowerPoint\\InstallRoot", "Path", "REG_SZ",
           OFFICE_ROOT[OTHER_EDITION] + "\\root\\Office16\\", OTHER_REGISTRY_VIEW],
          ["HKLM\\" + ENTRY, "LoadBehavior", "REG_DWORD", "3", OTHER_REGISTRY_VIEW],
          [USER_16 + "\\DisabledItems", "3F9", "REG_BINARY", disabled_item(SERVER.lower(), "Pexlo Add-in"),
           OTHER_REGISTRY_VIEW],
          [USER_16 + "\\DoNotDisableAddinList", PROG_ID, "REG_DWORD", "1", OTHER_REGISTRY_VIEW],
          ["HKCU\\" + POLICIES_16 + "\\Resiliency\\AddinList", PROG_ID, "REG_SZ", "0", OTHER_REGISTRY_VIEW],
          ["HKLM\\" + POLICIES_16 + "\\Security", "RequireAddinSig", "REG_DWORD", "1", OTHER_REGISTRY_VIEW]],
         None,
         powerpoint_lines(
             OTHER_EDITION,
             f"[info]   PowerPoint is {BITS[OTHER_EDITION]}-bit and loads {BITS[OTHER_EDITION]}-bit add-ins: this run "
             f"of {EXE.name} checked the {BITS[EDITION]}-bit registration. Run {OTHER_EXE_NAME}.",
             "[info]   Add-in entry per user: none", entry_heading.format(BITS[OTHER_EDITION]),
             "[info]     LoadBehavior: 3 (loads at startup)", server_line + ", not signed",
             f"[info]   Disabled item of PowerPoint 16.0: {SERVER.lower()} (Pexlo Add-in)",
             f"[info]   Policy (HKCU): this add-in is always disabled (Resiliency\\AddinList\\{PROG_ID} = 0)",
             "[info]   Policy (HKLM): add-ins must be signed by a trusted publisher (Security\\RequireAddinSig = 1)",
             "[info]   The user chose to keep this add-in enabled (Resiliency\\DoNotDisableAddinList).",
             conclusion="PowerPoint will not try to load the add-in when it starts: a policy disables it; it is in "
             "PowerPoint's disabled items (File > Options > Add-ins > Manage: Disabled Items).")),
        ("Click-to-Run's entry, disabled but always enabled by policy",
         [prog_id_names(click), *native_server(click, SERVER),
          *(["HKLM\\" + OFFICE + "\\ClickToRun\\Configuration", name, "REG_SZ", data, "/reg:64"] for name, data in (
              ("InstallationPath", OFFICE_ROOT[EDITION]), ("VersionToReport", "16.0.17928.20114"),
              ("Platform", EDITION), ("ProductReleaseIds", "O365ProPlusRetail"),
              ("CDNBaseUrl", "file:///C:/Channels/492350F6-3A01-4F97-B9C0-C7C6DDF67D60"))),
          ["HKLM\\" + CLICK_TO_RUN_ENTRY, "LoadBehavior", "REG_DWORD", "0", "/reg:64"],
          ["HKLM\\" + CLICK_TO_RUN_ENTRY, "FriendlyName", "REG_SZ", "Pexlo Add-in", "/reg:64"],
          [USER_16 + "\\DisabledItems", "1C4", "REG_BINARY", disabled_item("c:\\x\\y.dll", "Pexlo Add-in"),
           REGISTRY_VIEW],
          ["HKCU\\" + POLICIES_16 + "\\Resiliency\\AddinList", PROG_ID, "REG_DWORD", "1", REGISTRY_VIEW],
          ["HKCU\\" + POLICIES_16 + "\\Resiliency", "RestrictToList", "REG_DWORD", "1", REGISTRY_VIEW]],
         None,
         powerpoint_lines(
             EDITION, f"[info]   Office: Click-to-Run 16.0.17928.20114 ({EDITION}), O365ProPlusRetail, update channel "
             "Current Channel", "[info]   Add-in entry per user: none", "[info]   Add-in entry per machine: none",
             f"[info]   Add-in entry per machine for Click-to-Run, in HKEY_LOCAL_MACHINE\\{CLICK_TO_RUN_ENTRY}:",
             "[info]     LoadBehavior: 0 (not loaded; loads only when the user connects it)",
             "[info]     FriendlyName: Pexlo Add-in", server_line,
             "[info]   Disabled item of PowerPoint 16.0: c:\\x\\y.dll (Pexlo Add-in)",
             f"[info]   Policy (HKCU): this add-in is always enabled (Resiliency\\AddinList\\{PROG_ID} = 1)",
             "[info]   Policy (HKCU): add-ins not on the managed list are blocked (Resiliency\\RestrictToList = 1)",
             conclusion="PowerPoint will try to load the add-in when it starts.")),
        ("the user's Trust Center under Cloud Policy, Click-to-Run's entry disagreeing",
         [prog_id_names(trusting), *native_server(trusting, SERVER), this_powerpoint,
          ["HKLM\\" + ENTRY, "LoadBehavior", "REG_DWORD", "3", REGISTRY_VIEW],
          ["HKLM\\" + CLICK_TO_RUN_ENTRY, "LoadBehavior", "REG_DWORD", "2", "/reg:64"],
          *([security, name, "REG_DWORD", "1", REGISTRY_VIEW]
            for name in ("DisableAllAddins", "RequireAddinSig", "NoTBPromptUnsignedAddin")),
          *(["HKCU\\" + CLOUD_16 + "\\Security", name, "REG_DWORD", value, REGISTRY_VIEW]
            for name, value in (("DisableAllAddins", "0"), ("RequireAddinSig", "0"), ("NoTBPromptUnsignedAddin", "1")))],
         None,
         powerpoint_lines(
             EDITION, "[info]   Add-in entry per user: none", entry_heading.format(BITS[EDITION]),
             "[info]     LoadBehavior: 3 (loads at startup)",
             f"[info]   Add-in entry per machine for Click-to-Run, in HKEY_LOCAL_MACHINE\\{CLICK_TO_RUN_ENTRY}:",
             "[info]     LoadBehavior: 2 (set to load at startup but not loaded: PowerPoint does this after the "
             "add-in failed to load, or when the user unloaded it)", server_line + ", not signed",
             "[info]   Disabled items of PowerPoint 16.0: none",
             "[info]   Policy (Cloud): unsigned add-ins are disabled without a prompt "
             "(Security\\NoTBPromptUnsignedAddin = 1)",
             trust_center + "all add-ins are disabled (Security\\DisableAllAddins = 1)",
             trust_center + "add-ins must be signed by a trusted publisher (Security\\RequireAddinSig = 1)",
             trust_center + "unsigned add-ins are disabled without a prompt (Security\\NoTBPromptUnsignedAddin = 1)",
             conclusion="Whether PowerPoint loads the add-in when it starts cannot be told here: its per-machine "
             "LoadBehavior is 3 but Click-to-Run's copy says 2, and which one PowerPoint reads is not documented.")),
        ("the machine's entry in the other view only, all add-ins disabled by the user",
         [prog_id_names(elsewhere), *native_server(elsewhere, SERVER), this_powerpoint,
          ["HKLM\\" + ENTRY, "LoadBehavior", "REG_DWORD", "3", OTHER_REGISTRY_VIEW],
          [security, "DisableAllAddins", "REG_DWORD", "1", REGISTRY_VIEW]],
         None,
         powerpoint_lines(
             EDITION, "[info]   Add-in entry per user: none", "[info]   Add-in entry per machine: none",
             f"[info]   Add-in entry per machine in the {BITS[OTHER_EDITION]}-bit registry view, which this "
             f"PowerPoint does not read: HKEY_LOCAL_MACHINE\\{ENTRY}", server_line,
             "[info]   Disabled items of PowerPoint 16.0: none",
             trust_center + "all add-ins are disabled (Security\\DisableAllAddins = 1)",
             conclusion="PowerPoint will not try to load the add-in when it starts: the user disabled all add-ins in "
             f"the Trust Center; it is not registered with PowerPoint (its per-machine entry is in the "
             f"{BITS[OTHER_EDITION]}-bit registry view only).")),
        ("signed by a trusted publisher, a signature asked for",
         [prog_id_names(signed_class), *native_server(signed_class, signed), powerpoint_found, signature_asked,
          *([key, "Blob", "REG_BINARY", blob, REGISTRY_VIEW] for key in certificate_keys())],
         None,
         powerpoint_lines(EDITION, "[info]   Add-in entry per user: none", "[info]   Add-in entry per machine: none",
                          f"[info]   Server: {signed}, no version information, signed by '{SIGNER}', a trusted "
                          "publisher", *asked_record,
                          conclusion="PowerPoint will not try to load the add-in when it starts: it is not registered "
                           "with PowerPoint.")),
        ("signature altered after signing, a signature asked for",
         [prog_id_names(altered_class), *native_server(altered_class, altered), powerpoint_found, signature_asked],
         None,
         powerpoint_lines(EDITION, "[info]   Add-in entry per user: none", "[info]   Add-in entry per machine: none",
                          f"[info]   Server: {altered}, no version information, signature not valid "
                          "(HRESULT=0x80096010)", *asked_record,
                          conclusion="PowerPoint will not try to load the add-in when it starts: add-ins must be signed by a "
                           "trusted publisher and its server has a signature that is not valid; it is not registered "
                           "with PowerPoint.")),
    ]


def remove_table_registrations():
    """Removes every key a row may have written, from both views, and has the
    next run register its variant again."""
    keys = [USER_CLASSES + "\\" + PROG_ID, MACHINE_CLASSES + "\\" + PROG_ID]
    keys += [root + "\\CLSID\\" + class_id for root in (USER_CLASSES, MACHINE_CLASSES) for class_id in ROW_CLASSES]
    keys += POWERPOINT_KEYS + certificate_keys()
    for view in (REGISTRY_VIEW, OTHER_REGISTRY_VIEW):  # one view a call: both overrun cmd's 8191 characters
        wine64_quietly("cmd", "/c", "".join(f"reg delete {key} /f {view} >nul 2>&1 & " for key in keys) + "exit 0")
    for view in (REGISTRY_VIEW, OTHER_REGISTRY_VIEW):  # a key with blanks cannot go through cmd /c
        for key in (APP_PATHS, NDP_4):
            wine64_quietly("reg", "delete", key, "/f", view, must_succeed=False)
    kestrum_run._registered_variant = object()


class RegistrationTable(unittest.TestCase):
    """After a failed activation kestrum reads back how the add-in is registered."""

    def test_each_registration_is_reported_between_the_failure_and_the_verdict(self):
        kestrum_run.skip_unless_edition_runs()
        self.addCleanup(remove_table_registrations)
        for name, values, expected, *powerpoint in registration_rows() + powerpoint_rows():
            with self.subTest(name):
                if powerpoint and not (PREFIX / "drive_c" / POWERPOINT_EXE[OTHER_EDITION][3:].replace("\\", "/")).is_file():
                    self.skipTest(f"no {OTHER_EDITION} build installed its PowerPoint stand-in")
                remove_table_registrations()
                workdir = kestrum_run.new_workdir()  # holding a copy of the add-in, for a bare name to find
                shutil.copy2(PREFIX / "drive_c" / SERVER[3:].replace("\\", "/"), workdir)
                if OTHER_BUILD_LIBRARY.is_file():
                    shutil.copy2(OTHER_BUILD_LIBRARY, workdir)
                elif "other bitness" in name:
                    self.skipTest(f"no {OTHER_EDITION} build of {OTHER_BUILD_LIBRARY.name}")
                for key, value_name, kind, data, view in values:
                    value = ["/ve"] if value_name is None else ["/v", value_name]
                    if kind.startswith("hex"):  # bytes that reg add cannot write: through a .reg file
                        reg_file = workdir / "row.reg"
                        reg_file.write_text(f"Windows Registry Editor Version 5.00\n\n[{key}]\n@={kind}:{data}\n",
                                            encoding="utf-16")
                        wine64_quietly("reg", "import", "Z:" + str(reg_file).replace("/", "\\"), view)
                    else:
                        wine64_quietly("reg", "add", key, *value, "/t", kind, "/d", data, "/f", view)
                kestrum_run._registered_variant = TABLE_ROW  # the row's keys are the registration
                run = run_kestrum(variant=TABLE_ROW, workdir=workdir)
                self.addCleanup(remove, run)
                self.assertEqual(run.exit_status, 0, run.stdout[-2000:] + run.stderr)
                self.assertEqual(run.log_lines(), run.console_lines())
                at_work = "Z:" + str(workdir).replace("/", "\\")
                report, records = assert_failed_with_report(self, run)
                if expected is not None:
                    expected = [r.replace(WORKDIR, at_work) for r in expected]
                    report = [e if e.endswith(REST) and r.startswith(e[:-len(REST)]) else r
                              for r, e in zip(report, expected)] + report[len(expected):]
                    self.assertEqual(report, expected)
                if powerpoint:
                    self.assertEqual(records, powerpoint[0])
                self.assertEqual(records[-1], powerpoint[0][-1] if powerpoint else POWERPOINT_NOT_FOUND)


# PowerPoint's crash reports: report folders as Windows Error Reporting keeps
# them, each placed in the prefix for one run, with its time as hours ago.
# Local times are read in a zone off the whole hour, as the log's are.
CRASH_ZONE, CRASH_ZONE_SECONDS = "IST-5:30", 5 * 3600 + 30 * 60
NONE_KEPT = NO_CRASH_REPORTS[-1]


def crash_report_rows():
    """(name, where under ProgramData or LocalAppData, folder, EventType, hours ago, fault module, exception,
    loaded module, what follows "PowerPoint 16.0.1 " in the record; None: no record)."""
    crash = "crashed in {} 2.1.0.0 (exception {}, offset 00001a2b)"
    return [("fault in the sample server, which was loaded", "ProgramData", "ReportArchive",
             "AppCrash_POWERPNT.EXE_3f1c", "APPCRASH", 2, "PexloSampleAddin.dll", "c0000005", SERVER,
             crash.format("PexloSampleAddin.dll", "c0000005") + "; the add-in was loaded; the fault is in the add-in"),
            ("fault in another module", "LocalAppData", "ReportQueue", "AppCrash_POWERPNT.EXE_77", "BEX64", 30,
             "ntdll.dll", "c0000409", SYSTEM_FOLDER + "\\ntdll.dll", crash.format("ntdll.dll", "c0000409")),
            ("hang, the add-in loaded, its folder named in lower case", "LocalAppData", "ReportArchive",
             "apphang_powerpnt.exe_9", "AppHangB1", 1, "", "", SERVER.upper(),
             "stopped responding; the add-in was loaded"),
            ("older than 90 days", "ProgramData", "ReportQueue", "AppCrash_POWERPNT.EXE_5", "APPCRASH", 91 * 24,
             "PexloSampleAddin.dll", "c0000005", SERVER, None),
            ("none", None, None, None, None, None, None, None, None, None)]


def report_place(root, queue):
    """The prefix's folder of one report place: for LocalAppData, that of the one user Wine made."""
    if root == "ProgramData":
        base = PREFIX / "drive_c" / "ProgramData"
    else:
        [base] = [user / "AppData" / "Local" for user in (PREFIX / "drive_c" / "users").iterdir()
                  if (user / "AppData" / "Local").is_dir()]
    return base / "Microsoft" / "Windows" / "WER" / queue


class CrashReports(unittest.TestCase):
    def test_powerpoint_s_crash_reports_are_listed_last_before_the_verdict(self):
        for name, root, queue, folder, event, hours, module, code, loaded, said in crash_report_rows():
            with self.subTest(name):
                expected = [NONE_KEPT]
                if root is not None:
                    place = report_place(root, queue) / folder
                    place.mkdir(parents=True)
                    self.addCleanup(shutil.rmtree, place, True)
                    at = int(time.time()) - hours * 3600
                    lines = [f"EventType={event}", f"EventTime={at * 10**7 + 116444736000000000}",
                             "Sig[1].Name=Application Version", "Sig[1].Value=16.0.1",
                             "Sig[3].Name=Fault Module Name", f"Sig[3].Value={module}",
                             "Sig[4].Name=Fault Module Version", "Sig[4].Value=2.1.0.0",
                             "Sig[6].Name=Exception Code", f"Sig[6].Value={code}",
                             "Sig[7].Name=Exception Offset", "Sig[7].Value=00001a2b", f"LoadedModule[0]={loaded}"]
                    (place / "Report.wer").write_bytes(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))
                    local = time.strftime("%Y-%m-%d %H:%M", time.gmtime(at + CRASH_ZONE_SECONDS))
                    expected = [f"[info]   {local} PowerPoint 16.0.1 {said}"] if said else expected
                run = run_kestrum(scenario="no_runtime", env={"TZ": CRASH_ZONE})
                self.addCleanup(remove, run)
                if root is not None:  # the next row, and every other test, sees none
                    shutil.rmtree(place)
                self.assertEqual(run.exit_status, 0, run.stdout[-2000:] + run.stderr)
                lines = run.console_lines()
                self.assertEqual(run.log_lines(), lines)
                self.assertEqual((lines[:3], lines[-1]), (BANNER, "[info] Done."))
                self.assertEqual(crash_reports(lines), expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
