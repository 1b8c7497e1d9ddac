"""The shipped kestrum.exe, read as a file: it must start on a bare Windows."""

import re
import struct
import subprocess
import unittest
import xml.etree.ElementTree as ET

from kestrum_run import EXE

# A bare Windows has only its own DLLs; anything else must be linked in statically.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "user32.dll",
               "advapi32.dll", "psapi.dll", "shell32.dll", "ucrtbase.dll", "version.dll",
               "ntdll.dll", "shlwapi.dll", "mscoree.dll", "bcrypt.dll", "ws2_32.dll"}
MINGW_RUNTIME = {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}
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
        # PE32+ puts the data directories at 112, after the 64-bit stack/heap sizes.
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, opt + 112 + 2 * 8)
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


class ShippedBinary(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not EXE.is_file():
            # A missing build must fail here, not pass as skipped.
            raise FileNotFoundError(f"{EXE} is not built: run ninja -C build kestrum")
        cls.pe = PeImage(EXE.read_bytes())

    def test_targets_64_bit_console(self):
        self.assertEqual(self.pe.machine, 0x8664, "machine is not AMD64")
        self.assertEqual(self.pe.magic, 0x20B, "optional header is not PE32+")
        self.assertEqual(self.pe.subsystem, 3, "subsystem is not the Windows console")

    def test_imports_only_windows_own_dlls(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(EXE)],
                              capture_output=True, text=True, check=True).stdout
        dlls = {name.lower() for name in re.findall(r"DLL Name:\s*(\S+)", dump)}
        self.assertTrue({"kernel32.dll", "ole32.dll"} <= dlls, f"import table not read: {dlls}")
        self.assertFalse(dlls & MINGW_RUNTIME, "MinGW runtime must be linked statically")
        foreign = {d for d in dlls - SYSTEM_DLLS if not d.startswith("api-ms-win-crt-")}
        self.assertFalse(foreign, f"imports DLLs a bare Windows lacks: {sorted(foreign)}")

    def test_manifest_asks_for_no_elevation(self):
        blob = self.pe.resource(RT_MANIFEST, 1)
        self.assertIsNotNone(blob, "no RT_MANIFEST resource with id 1")
        root = ET.fromstring(blob)
        levels = [e for ns in SECURITY_NAMESPACES for e in root.iter(f"{{{ns}}}requestedExecutionLevel")]
        self.assertEqual(len(levels), 1, "expected exactly one requestedExecutionLevel")
        self.assertEqual(levels[0].get("level"), "asInvoker")
        self.assertEqual(levels[0].get("uiAccess"), "false")

    def test_version_resource_names_the_product(self):
        blob = self.pe.resource(RT_VERSION, 1)
        self.assertIsNotNone(blob, "no RT_VERSION resource with id 1")
        key, fixed, children = version_node(blob)
        self.assertEqual(key, "VS_VERSION_INFO")
        signature, _, _, _, product_ms = struct.unpack_from("<5I", fixed)
        self.assertEqual(signature, 0xFEEF04BD, "VS_FIXEDFILEINFO signature")
        self.assertEqual(product_ms >> 16, 1, "product version major")
        strings = {name: value for block, _, tables in children if block == "StringFileInfo"
                   for _, _, entries in tables for name, value, _ in entries}
        self.assertEqual(strings.get("ProductName"), "Pexlo Kestrum", strings)
        self.assertEqual(strings.get("ProductVersion"), "1", strings)


if __name__ == "__main__":
    unittest.main(verbosity=2)
