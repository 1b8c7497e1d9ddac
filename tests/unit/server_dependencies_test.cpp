#include "reports/library_search.h"
#include "reports/pe_image.h"
#include "reports/powerpoint_install.h"
#include "reports/server_dependencies.h"
#include "tests/unit/fake_file_facts.h"
#include "tests/unit/fake_process_context.h"
#include "tests/unit/fake_process_modules.h"
#include "tests/unit/fake_registry.h"
#include "tests/unit/recording_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestrum::reports {
namespace {

using Strings = std::vector<std::string>;
using WStrings = std::vector<std::wstring>;
constexpr platform::registry_view own_view = platform::this_edition_view();
constexpr bool own_64 = own_view == platform::registry_view::bits64;
constexpr WORD own_machine = own_64 ? machine_x64 : machine_x86;
constexpr WORD other_machine = own_64 ? machine_x86 : machine_x64;
const std::string own_bits = own_64 ? "64" : "32";
const std::string other_bits = own_64 ? "32" : "64";

// A PE image of one section (RVA 0x1000 at file offset 0x200): import
// descriptors at RVA 0x1000, delay descriptors at 0x1400 (names as addresses
// in an old-style table), a .NET header with |clr_flags| at 0x1700 when they
// are nonzero, names from 0x1800.
std::vector<BYTE> pe_bytes(const std::vector<std::string>& imports, WORD machine = own_machine, DWORD clr_flags = 0,
                           const std::vector<std::string>& delay_imports = {}, bool old_delay = false) {
    std::vector<BYTE> bytes(0x1200);
    const auto put = [&bytes](std::size_t at, std::uint64_t value, std::size_t count) {
        for (std::size_t index = 0; index < count; ++index)
            bytes.at(at + index) = static_cast<BYTE>(value >> (8 * index));
    };
    const auto file = [](DWORD rva) { return rva - 0xE00; };
    const bool plus = machine == machine_x64;
    const std::size_t optional = 0x58, optional_size = plus ? 240 : 224, directories = optional + (plus ? 112 : 96);
    const std::uint64_t base = 0x10000000;
    put(0, 'M' | ('Z' << 8), 2), put(0x3C, 0x40, 4), put(0x40, 'P' | ('E' << 8), 4), put(0x44, machine, 2);
    put(0x46, 1, 2), put(0x54, optional_size, 2), put(optional, plus ? 0x20B : 0x10B, 2);
    put(optional + (plus ? 24 : 28), base, plus ? 8 : 4), put(directories - 4, 16, 4);
    put(optional + optional_size + 8, 0x1000, 4), put(optional + optional_size + 12, 0x1000, 4);
    put(optional + optional_size + 16, 0x1000, 4), put(optional + optional_size + 20, 0x200, 4);
    DWORD names = 0x1800;
    const auto name = [&](const std::string& text) {
        std::memcpy(&bytes.at(file(names)), text.c_str(), text.size() + 1);
        return std::exchange(names, static_cast<DWORD>(names + text.size() + 1));
    };
    put(directories + 8, 0x1000, 4);
    for (std::size_t index = 0; index < imports.size(); ++index)
        put(file(0x1000 + 20 * index) + 12, name(imports[index]), 4);
    if (!delay_imports.empty()) put(directories + 13 * 8, 0x1400, 4);
    for (std::size_t index = 0; index < delay_imports.size(); ++index) {
        put(file(0x1400 + 32 * index), old_delay ? 0 : 1, 4);
        put(file(0x1400 + 32 * index) + 4, name(delay_imports[index]) + (old_delay ? base : 0), 4);
    }
    if (clr_flags != 0) put(directories + 14 * 8, 0x1700, 4), put(file(0x1700) + 16, clr_flags, 4);
    return bytes;
}

// clang-format off
struct image_row { const char* name; std::vector<BYTE> bytes; std::wstring unreadable; WORD machine; /* 0: not checked */ WStrings imports, delay_imports; bool any_cpu; };
// clang-format on

TEST(PeImage, HeadersImportTablesAndEveryOffsetPastTheEndOfTheFile) {
    const std::vector<BYTE> good = pe_bytes({"KERNEL32.dll", "Beside.dll"});
    const auto cut = [&good](std::size_t size) {
        return std::vector<BYTE>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    };
    const auto patched = [&good](std::size_t at, BYTE value) {
        std::vector<BYTE> bytes = good;
        bytes.at(at) = value;
        return bytes;
    };
    const std::wstring past_end = L"its headers end past the end of the file",
                       outside = L"its import table lies outside the file";
    // clang-format off
    const image_row rows[] = {
        {"this edition's", good, L"", own_machine, {L"KERNEL32.dll", L"Beside.dll"}, {}, false},
        {"other bitness, delay imports", pe_bytes({"a.dll"}, other_machine, 0, {"late.dll", "later.dll"}), L"", other_machine, {L"a.dll"}, {L"late.dll", L"later.dll"}, false},
        {"old-style delay table", pe_bytes({}, machine_x86, 0, {"old.dll"}, true), L"", machine_x86, {}, {L"old.dll"}, false},
        {"IL only", pe_bytes({"mscoree.dll"}, machine_x86, 0x1), L"", machine_x86, {L"mscoree.dll"}, {}, true},
        {"32-bit only", pe_bytes({}, machine_x86, 0x3), L"", machine_x86, {}, {}, false},
        {"32-bit preferred", pe_bytes({}, machine_x86, 0x20003), L"", machine_x86, {}, {}, true},
        {"no MZ", patched(0, 'X'), L"not a PE image", 0, {}, {}, false},
        {"empty", {}, L"not a PE image", 0, {}, {}, false},
        {"truncated headers", cut(0x100), past_end, 0, {}, {}, false},
        {"PE header past the end", patched(0x3F, 0x7F), past_end, 0, {}, {}, false},
        {"import table past the end", patched(0x58 + (own_64 ? 112 : 96) + 9, 0x30), outside, own_machine, {}, {}, false},
        {"name cut by the end", cut(0xA05), outside, own_machine, {}, {}, false},
        {"too many sections", patched(0x47, 0x10), past_end, own_machine, {}, {}, false},
    };
    // clang-format on
    for (const image_row& row : rows) {
        testing::fake_file_facts files;
        files.files[L"C:\\a.dll"].bytes = row.bytes;
        const pe_image image = read_pe_image(files, L"C:\\a.dll");
        EXPECT_EQ(image.unreadable, row.unreadable) << row.name;
        EXPECT_TRUE(row.machine == 0 || image.machine == row.machine) << row.name;
        EXPECT_EQ(image.imports, row.imports) << row.name;
        EXPECT_EQ(image.delay_imports, row.delay_imports) << row.name;
        EXPECT_EQ(image.any_cpu, row.any_cpu) << row.name;
    }
    testing::fake_file_facts none;
    EXPECT_EQ(read_pe_image(none, L"C:\\gone.dll").unreadable, L"no such file");
}

TEST(LibrarySearch, TheLoadersOrderForAServerLoadedByItsFullPath) {
    const search_places places{
        {L"C:\\Windows\\System32\\KERNEL32.dll"}, {L"ole32.dll"}, L"C:\\Addin", L"C:\\Sys", L"C:\\Windows", L"D:\\Work",
        L"C:\\Sys;\"E:\\Tools\";;F:\\Bin"};
    // clang-format off
    struct row { const wchar_t* name; WStrings present; found_as how; std::wstring path; } rows[] = {
        {L"kernel32.DLL", {L"C:\\Addin\\kernel32.DLL"}, found_as::loaded, L"C:\\Windows\\System32\\KERNEL32.dll"},
        {L"OLE32.dll", {}, found_as::known, L"C:\\Sys\\OLE32.dll"},
        {L"x.dll", {L"C:\\Addin\\x.dll", L"C:\\Sys\\x.dll"}, found_as::file, L"C:\\Addin\\x.dll"},
        {L"x.dll", {L"C:\\Sys\\x.dll", L"C:\\Windows\\x.dll"}, found_as::file, L"C:\\Sys\\x.dll"},
        {L"x.dll", {L"C:\\Windows\\x.dll", L"D:\\Work\\x.dll"}, found_as::file, L"C:\\Windows\\x.dll"},
        {L"x.dll", {L"D:\\Work\\x.dll", L"E:\\Tools\\x.dll"}, found_as::file, L"D:\\Work\\x.dll"},
        {L"x.dll", {L"F:\\Bin\\x.dll", L"E:\\Tools\\x.dll"}, found_as::file, L"E:\\Tools\\x.dll"},
        {L"x.dll", {L"F:\\Bin\\x.dll"}, found_as::file, L"F:\\Bin\\x.dll"},
        {L"x.dll", {L"G:\\x.dll"}, found_as::nowhere, L""},
    };  // clang-format on
    for (const row& one : rows) {
        testing::fake_file_facts files;
        for (const std::wstring& path : one.present) files.files[path];
        const found_library found = find_library(files, places, one.name);
        EXPECT_EQ(found.how, one.how) << one.path;
        EXPECT_EQ(found.path, one.path);
        EXPECT_EQ(found.in_server_folder, one.path.starts_with(L"C:\\Addin\\"));
    }
    EXPECT_TRUE(is_api_set(L"EXT-ms-win-ntuser-l1.dll") && !is_api_set(L"api-ms.dll"));
}

// What the section writes for a server in C:\Addin, with KERNEL32.dll loaded,
// ole32.dll a KnownDLL and files as each row leaves them.
// clang-format off
struct section_row { const char* name; std::function<void(testing::fake_file_facts&, testing::fake_registry&, used_class&)> setup; Strings records; };  // clang-format on

TEST(ServerDependencies, WhatLoadingTheServerNeedsAfterAFailedCreation) {
    const std::string heading = "[info] What loading the add-in's server needs:";
    const std::string looked = "[info]   Looked for in: C:\\Addin; C:\\Sys; C:\\Windows; D:\\Work; E:\\Tools";
    const std::wstring ndp = L"Software\\Microsoft\\NET Framework Setup\\NDP\\";
    using files_t = testing::fake_file_facts;
    using registry_t = testing::fake_registry;
    using inputs_t = used_class;
    const auto bytes_of = [](std::string_view text) { return std::vector<BYTE>(text.begin(), text.end()); };
    const auto managed = [](inputs_t& inputs, const wchar_t* code_base) {
        inputs.server_path = L"C:\\Sys\\mscoree.dll", inputs.managed = true, inputs.code_base_path = code_base;
        inputs.runtime_version = L"v2.0.50727";
    };
    const section_row rows[] = {
        {"missing, nested, delay-loaded, a loop, API sets",
         [&](files_t& files, registry_t&, inputs_t&) {
             files.files[L"C:\\Addin\\Server.dll"].bytes =
                 pe_bytes({"api-ms-win-core-x.dll", "KERNEL32.dll", "Gone.dll", "Beside.dll", "ole32.dll"}, own_machine,
                          0, {"Late.dll", "gone.DLL"});
             files.files[L"C:\\Addin\\Beside.dll"].bytes = pe_bytes({"Deep.dll", "Gone.dll"});
             files.files[L"E:\\Tools\\Deep.dll"].bytes = pe_bytes({"beside.dll", "Deeper\x01.dll"});
         },
         {"[info]   Missing: Gone.dll, imported by C:\\Addin\\Server.dll",
          "[info]   Missing, delay-loaded (fails only when called): Late.dll, imported by C:\\Addin\\Server.dll",
          "[info]   Missing: Deeper<U+0001>.dll, imported by E:\\Tools\\Deep.dll", looked}},
        {"wrong bitness, unreadable, the Visual C++ runtime not installed",
         [&](files_t& files, registry_t&, inputs_t&) {
             files.files[L"C:\\Addin\\Server.dll"].bytes = pe_bytes({"Other.dll", "Text.dll", "VCRUNTIME140.dll"});
             files.files[L"C:\\Sys\\Other.dll"].bytes = pe_bytes({}, other_machine);
             files.files[L"C:\\Windows\\Text.dll"].bytes = {'M', 'Z'};
             files.files[L"C:\\Sys\\VCRUNTIME140.dll"].bytes = pe_bytes({});
         },
         {"[info]   Wrong bitness: C:\\Sys\\Other.dll is " + other_bits + "-bit, imported by C:\\Addin\\Server.dll",
          "[info]   Cannot be read: C:\\Windows\\Text.dll (not a PE image)",
          "[info]   Visual C++ 2015-2022 runtime (" + own_bits + "-bit): not installed"}},
        {"everything found, the runtime installed, a download beside the server",
         [&](files_t& files, registry_t& registry, inputs_t&) {
             files.files[L"C:\\Addin\\Server.dll"].bytes = pe_bytes({"msvcp140_1.dll", "ole32.dll", "Beside.dll"});
             files.files[L"C:\\Addin\\msvcp140_1.dll"].bytes = pe_bytes({"kernel32.dll"});
             files.files[L"C:\\Addin\\Beside.dll"].bytes = pe_bytes({});
             files.files[L"C:\\Addin\\Beside.dll:Zone.Identifier"].bytes = bytes_of("[ZoneTransfer]\r\nZoneId=3\r\n");
             const std::wstring key =
                 std::wstring(L"Software\\Microsoft\\VisualStudio\\14.0\\VC\\Runtimes\\") + (own_64 ? L"x64" : L"x86");
             registry.set_raw(HKEY_LOCAL_MACHINE, own_view, key, L"Installed", REG_DWORD, {1, 0, 0, 0});
             registry.set_text(HKEY_LOCAL_MACHINE, own_view, key, L"Version", L"v14.40.33810.00");
         },
         {"[info]   Visual C++ 2015-2022 runtime (" + own_bits + "-bit): v14.40.33810.00",
          "[info]   Found every library it imports (4), each " + own_bits + "-bit.",
          "[info]   C:\\Addin\\Beside.dll came from the internet (Zone.Identifier ZoneId=3): Windows may refuse to "
          "load it; unblock it under the file's Properties."}},
        {"a server of the other bitness",
         [&](files_t& files, registry_t&, inputs_t&) {
             files.files[L"C:\\Addin\\Server.dll"].bytes = pe_bytes({"Gone.dll"}, other_machine);
         },
         {"[info]   The server C:\\Addin\\Server.dll is " + other_bits + "-bit: a " + own_bits +
          "-bit process cannot load it."}},
        {"a chain longer than the walk reads",
         [&](files_t& files, registry_t&, inputs_t&) {
             files.files[L"C:\\Addin\\Server.dll"].bytes = pe_bytes({"0.dll"});
             for (int index = 0; index < 600; ++index) {
                 files.files[L"C:\\Addin\\" + std::to_wstring(index) + L".dll"].bytes =
                     pe_bytes({std::to_string(index + 1) + ".dll"});
             }
         },
         {"[info]   Stopped after 512 files."}},
        {".NET asking for 2.0 where 4.8 is registered, an AnyCPU CodeBase, downloaded",
         [&](files_t& files, registry_t& registry, inputs_t& inputs) {
             files.files[L"C:\\Sys\\mscoree.dll"].bytes = pe_bytes({});
             files.files[L"C:\\Addin\\Net.dll"].bytes = pe_bytes({"mscoree.dll"}, machine_x86, 1);
             files.files[L"C:\\Addin\\Net.dll:Zone.Identifier"].bytes = bytes_of("zoneid=4");
             registry.set_raw(HKEY_LOCAL_MACHINE, own_view, ndp + L"v4\\Full", L"Release", REG_DWORD,
                              {0xA8, 0x0E, 0x08, 0});
             managed(inputs, L"C:\\Addin\\Net.dll");
         },
         {"[info]   .NET Framework: 4.8 (release 528040)",
          "[info]   The add-in asks for runtime v2.0.50727: not installed.",
          "[info]   Found every library it imports (1), each " + own_bits + "-bit.",
          "[info]   C:\\Addin\\Net.dll came from the internet (Zone.Identifier ZoneId=4): Windows may refuse to load "
          "it; unblock it under the file's Properties."}},
        {".NET 3.5 and 4.0 only, a 64-bit-only CodeBase gone",
         [&](files_t& files, registry_t& registry, inputs_t& inputs) {
             files.files[L"C:\\Sys\\mscoree.dll"];
             registry.set_raw(HKEY_LOCAL_MACHINE, own_view, ndp + L"v4\\Full", L"Release", REG_DWORD, {1, 0, 0, 0});
             registry.set_raw(HKEY_LOCAL_MACHINE, own_view, ndp + L"v3.5", L"Install", REG_DWORD, {1, 0, 0, 0});
             managed(inputs, L"C:\\Addin\\Gone.dll");
         },
         {"[info]   .NET Framework: 4.x (release 1), 3.5",
          "[info]   The add-in asks for runtime v2.0.50727: installed."}},
        {"a server file that is not there", [](files_t&, registry_t&, inputs_t&) {}, {}},
    };
    for (const section_row& row : rows) {
        files_t files;
        registry_t registry;
        registry.set_text(HKEY_LOCAL_MACHINE, own_view,
                          L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", L"ole", L"ole32.dll");
        testing::fake_process_modules modules;
        modules.add(L"C:\\Kestrum\\kestrum.exe");
        modules.add(L"C:\\Sys\\KERNEL32.dll");
        testing::fake_process_context context;
        context.system_folders[own_view] = L"C:\\Sys";
        context.folders = {{platform::process_folder::windows, L"C:\\Windows"},
                           {platform::process_folder::working, L"D:\\Work"}};
        context.environment[L"PATH"] = L"E:\\Tools";
        used_class inputs;
        inputs.server_path = L"C:\\Addin\\Server.dll";
        row.setup(files, registry, inputs);
        // What the registration found of its files.
        inputs.server_exists = files.exists(inputs.server_path.c_str());
        inputs.code_base_exists = inputs.managed && files.exists(inputs.code_base_path.c_str());
        testing::recording_log log;
        report_server_dependencies(log.logger(), registry, context, files, modules, inputs);
        Strings expected = row.records;
        if (!expected.empty()) expected.insert(expected.begin(), {"[info] ", heading});
        EXPECT_EQ(log.records(), expected) << row.name;
    }
}

}  // namespace
}  // namespace kestrum::reports
