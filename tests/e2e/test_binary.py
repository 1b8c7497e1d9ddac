"""The shipped exe of the edition under test (kestrum.exe or kestrum32.exe),
read as a file: it must start on a bare Windows of its bitness."""

import re
import struct
import subprocess
import unittest
import xml.etree.ElementTree as ET

from kestrum_run import EDITION, EDITION_BUILD, EXE, ROOT

# What each edition's PE file must say about itself.
EDITIONS = {
    "x64": {"machine": 0x8664, "magic": 0x20B, "objdump": "x86_64-w64-mingw32-objdump",
            "manifest_architecture": "amd64", "description_ends": "(x64)"},
    "x86": {"machine": 0x14C, "magic": 0x10B, "objdump": "i686-w64-mingw32-objdump",
            "manifest_architecture": "x86", "description_ends": "(x86)"},
}
EXPECTED = EDITIONS[EDITION]

# A bare Windows has only its own DLLs; anything else must be linked in statically.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "user32.dll",
               "advapi32.dll", "psapi.dll", "shell32.dll", "ucrtbase.dll", "version.dll",
               "ntdll.dll", "shlwapi.dll", "mscoree.dll", "bcrypt.dll", "ws2_32.dll"}
MINGW_RUNTIME = {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libgcc_s_dw2-1.dll", "libgcc_s_sjlj-1.dll",
                 "libwinpthread-1.dll"}
# The regular import table, which the watcher's start-up loads: every other
# DLL kestrum calls is delay-loaded (platform/delay_loaded_imports.txt).
WATCHER_IMPORTS = {"kernel32.dll", "msvcrt.dll"}
RT_VERSION, RT_MANIFEST = 16, 24
SECURITY_NAMESPACES = ("urn:schemas-microsoft-com:asm.v3", "urn:schemas-microsoft-com:asm.v2")


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ signature")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"no PE signature at 0x{pe:x}")
        self.machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        # PE32+ puts the data directories at 112, after the 64-bit stack/heap sizes; PE32 at 96.
        directories = opt + (112 if self.magic == 0x20B else 96)
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
        table = opt + opt_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva):
        for vsize, vaddr, raw_size, raw_ptr in self.sections:
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw_ptr + rva - vaddr
        raise ValueError(f"RVA 0x{rva:x} lies in no section")

    def entries(self, directory):
        """(name-or-id, is_subdirectory, offset relative to the resource root) for one level."""
        root = self.offset(self.resource_rva)
        named, ids = struct.unpack_from("<HH", self.data, root + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, root + directory + 16 + 8 * i)
            if name & 0x80000000:
                at = root + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                name = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, bool(target & 0x80000000), target & 0x7FFFFFFF

    def resource(self, kind, ident):
        """Bytes of the first language of resource kind/ident, or None."""
        if not self.resource_rva:
            return None
        directory = 0
        for level_key in (kind, ident):
            found = [(sub, off) for key, sub, off in self.entries(directory) if key == level_key]
            if not found or not found[0][0]:
                return None
            directory = found[0][1]
        languages = [off for _, sub, off in self.entries(directory) if not sub]
        if not languages:
            return None
        rva, size = struct.unpack_from("<II", self.data, self.offset(self.resource_rva) + languages[0])
        return self.data[self.offset(rva):self.offset(rva) + size]


def version_node(blob, at=0):
    """One VS_VERSIONINFO / StringFileInfo / String node: (key, value, children)."""
    length, value_length, text = struct.unpack_from("<HHH", blob, at)
    end = at + 6
    while end < len(blob) and blob[end:end + 2] != b"\0\0":  # step by code unit: an odd-aligned pair is no terminator
        end += 2
    key = blob[at + 6:end].decode("utf-16-le")
    value_at = (end + 2 + 3) & ~3
    value_bytes = value_length * 2 if text else value_length
    value = blob[value_at:value_at + value_bytes]
    if text:
        value = value.decode("utf-16-le").rstrip("\0")
    child, children = (value_at + value_bytes + 3) & ~3, []
    while child < at + length:
        children.append(version_node(blob, child))
        child = (child + struct.unpack_from("<H", blob, child)[0] + 3) & ~3
    return key, value, children


def project_version():
    """The one version, from the top-level CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(PexloKestrum VERSION (\d+)\.(\d+)\.(\d+)", text)
    return tuple(int(part) for part in match.groups())


def exported_names(path):
    dump = subprocess.run([EXPECTED["objdump"], "-p", str(path)], capture_output=True, text=True, check=True).stdout
    table = dump.split("[Ordinal/Name Pointer] Table", 1)[-1]
    return set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)$", table, re.MULTILINE))


class ShippedBinary(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not EXE.is_file():
            # A missing build must fail here, not pass as skipped.
            raise FileNotFoundError(f"{EXE} is not built: run scripts/setup.sh")
        cls.pe = PeImage(EXE.read_bytes())

    def test_targets_the_editions_machine_as_a_console_program(self):
        self.assertEqual(self.pe.machine, EXPECTED["machine"], f"machine is not the {EDITION} one")
        self.assertEqual(self.pe.magic, EXPECTED["magic"], "optional header is of the wrong bitness")
        self.assertEqual(self.pe.subsystem, 3, "subsystem is not the Windows console")

    def test_sections_start_on_pages_in_the_file(self):
        # Wine maps those from the file; any other is read whole at every start.
        self.assertEqual([hex(raw_ptr) for *_, raw_ptr in self.pe.sections if raw_ptr % 0x1000], [])

    def test_imports_only_windows_own_dlls(self):
        dump = subprocess.run([EXPECTED["objdump"], "-p", str(EXE)],
                              capture_output=True, text=True, check=True).stdout
        imports = dump.split("The Import Tables", 1)[-1].split("\nThe ", 1)[0]
        dlls = {name.lower() for name in re.findall(r"DLL Name:\s*(\S+)", imports)}
        self.assertIn("kernel32.dll", dlls, f"import table not read: {dlls}")
        self.assertLessEqual(dlls, WATCHER_IMPORTS, "the watcher would load these before it starts the worker")
        self.assertFalse(dlls & MINGW_RUNTIME, "MinGW runtime must be linked statically")
        foreign = {d for d in dlls - SYSTEM_DLLS if not d.startswith("api-ms-win-crt-")}
        self.assertFalse(foreign, f"imports DLLs a bare Windows lacks: {sorted(foreign)}")

    def test_manifest_asks_for_no_elevation_and_names_the_architecture(self):
        blob = self.pe.resource(RT_MANIFEST, 1)
        self.assertIsNotNone(blob, "no RT_MANIFEST resource with id 1")
        root = ET.fromstring(blob)
        levels = [e for ns in SECURITY_NAMESPACES for e in root.iter(f"{{{ns}}}requestedExecutionLevel")]
        self.assertEqual(len(levels), 1, "expected exactly one requestedExecutionLevel")
        self.assertEqual(levels[0].get("level"), "asInvoker")
        self.assertEqual(levels[0].get("uiAccess"), "false")
        identity = root.find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
        self.assertEqual(identity.get("processorArchitecture"), EXPECTED["manifest_architecture"])
        self.assertEqual(identity.get("version"), "{}.{}.{}.0".format(*project_version()))

    def test_version_resource_names_the_product_its_version_and_edition(self):
        blob = self.pe.resource(RT_VERSION, 1)
        self.assertIsNotNone(blob, "no RT_VERSION resource with id 1")
        key, fixed, children = version_node(blob)
        self.assertEqual(key, "VS_VERSION_INFO")
        signature, _, file_ms, file_ls, product_ms = struct.unpack_from("<5I", fixed)
        self.assertEqual(signature, 0xFEEF04BD, "VS_FIXEDFILEINFO signature")
        major, minor, patch = project_version()
        self.assertEqual((file_ms, file_ls), ((major << 16) | minor, patch << 16), "file version")
        self.assertEqual(product_ms >> 16, major, "product version major")
        strings = {name: value for block, _, tables in children if block == "StringFileInfo"
                   for _, _, entries in tables for name, value, _ in entries}
        self.assertEqual(strings.get("ProductName"), "Pexlo Kestrum", strings)
        self.assertEqual(strings.get("ProductVersion"), str(major), strings)
        self.assertEqual(strings.get("FileVersion"), f"{major}.{minor}.{patch}.0", strings)
        self.assertEqual(strings.get("OriginalFilename"), EXE.name, strings)
        self.assertTrue(strings.get("FileDescription", "").endswith(EXPECTED["description_ends"]), strings)

    def test_test_servers_export_undecorated_names(self):
        # COM and kestrum look these up by plain name; a 32-bit build would
        # otherwise export DllGetClassObject@12.
        fixtures = EDITION_BUILD / "tests" / "fixtures"
        self.assertLessEqual({"DllGetClassObject", "DllCanUnloadNow"},
                             exported_names(fixtures / "sample_addin" / "PexloSampleAddin.dll"))
        self.assertIn("CLRCreateInstance", exported_names(fixtures / "stand_in_clr" / "mscoree.dll"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
