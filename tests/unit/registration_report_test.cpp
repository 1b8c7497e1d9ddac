#include "reports/registration_report.h"
#include "tests/unit/fake_file_facts.h"
#include "tests/unit/fake_process_context.h"
#include "tests/unit/fake_registry.h"
#include "platform/text_encoding.h"
#include "tests/unit/recording_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace kestrum::reports {
namespace {

using platform::registry_view;
using testing::fake_registry;
using testing::recording_log;
using Strings = std::vector<std::string>;

constexpr registry_view own_view = platform::this_edition_view();
constexpr registry_view other_view = platform::other_view(own_view);
const std::wstring prog_id_key = L"Software\\Classes\\Pexlo.PowerPoint.Addin";
const std::string class_id = "{11111111-2222-3333-4444-555555555555}";
const std::wstring class_key = L"Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}";
const std::wstring server_key = class_key + L"\\InprocServer32";

std::string bits(registry_view view) { return view == registry_view::bits64 ? "64-bit" : "32-bit"; }

std::string class_heading(registry_view view) {
    return "[info]   Class " + class_id + " in the " + bits(view) + " registry view" +
           (view == own_view ? " (this edition's)" : "");
}

class RegistrationReport : public ::testing::Test {
protected:
    RegistrationReport() {
        // As this process sees them: the 32-bit system files in SysWOW64, the
        // 64-bit ones in System32, which a 32-bit process reaches as Sysnative.
        context.system_folders = {
            {registry_view::bits32, L"C:\\Windows\\SysWOW64"},
            {registry_view::bits64,
             own_view == registry_view::bits64 ? L"C:\\Windows\\System32" : L"C:\\Windows\\Sysnative"}};
    }

    Strings report() {
        report_registration(log.logger(), read_addin_registration(registry, context, files));
        return log.records();
    }

    // Files by path alone: the report asks only whether they exist.
    void add_files(std::initializer_list<std::wstring> paths) {
        for (const std::wstring& path : paths) {
            files.files[path];
        }
    }

    fake_registry registry;
    testing::fake_process_context context;
    testing::fake_file_facts files;
    recording_log log;
};

TEST_F(RegistrationReport, ElevationValuesMissingMistypedOverlongOrUnterminatedAndAFruitlessSearchAreReportedAsSuch) {
    context.elevated = true;
    registry.set_text(HKEY_LOCAL_MACHINE, own_view, prog_id_key + L"\\CLSID", L"",
                      L"{11111111-2222-3333-4444-555555555555}");
    // Unterminated, and a stray byte after the last whole character.
    std::vector<BYTE> unterminated(sizeof(L"mscoree.dll") - sizeof(wchar_t) + 1, 'A');
    std::memcpy(unterminated.data(), L"mscoree.dll", unterminated.size() - 1);
    registry.set_raw(HKEY_LOCAL_MACHINE, own_view, server_key, L"", REG_SZ, unterminated);
    registry.set_raw(HKEY_LOCAL_MACHINE, own_view, server_key, L"Class", REG_DWORD, {1, 0, 0, 0});
    registry.set_text(HKEY_LOCAL_MACHINE, own_view, server_key, L"Assembly", std::wstring(40000, L'A'));
    registry.set_text(HKEY_LOCAL_MACHINE, own_view, server_key, L"RuntimeVersion", L"v4.0\r\n[error] forged\u2028\x85");
    registry.set_text(HKEY_LOCAL_MACHINE, own_view, server_key, L"CodeBase", L"file:///C:/Add%20in/Pexlo%C3%A9.dll");
    const std::wstring own_folder = context.system_folders[own_view];
    add_files({own_folder + L"\\mscoree.dll", L"C:\\Add in\\Pexlo\u00e9.dll"});
    // Found nowhere: each folder searched named once, in the loader's order.
    registry.set_text(HKEY_CURRENT_USER, own_view, server_key, L"", L"Pexlo.dll");
    using platform::process_folder;
    context.folders = {{process_folder::program, L"C:\\Kestrum"},
                       {process_folder::working, L"D:\\"},
                       {process_folder::windows, L"C:\\Windows"},
                       {process_folder::system_named, L"C:\\Windows\\System32"}};
    context.environment = {{L"PATH", L"C:\\Windows\\System32;;C:\\Tools\\"}};

    EXPECT_EQ(report(),
              (Strings{
                  "[info] ",
                  "[info] Registration of 'Pexlo.PowerPoint.Addin':",
                  "[info]   This run is elevated (Run as administrator): COM ignores per-user registrations here, but "
                  "PowerPoint, run normally, uses them. Run kestrum without elevation to check the add-in as "
                  "PowerPoint loads it.",
                  "[info]   ProgID per machine, in HKEY_LOCAL_MACHINE\\Software\\Classes:",
                  "[info]     CLSID: " + class_id,
                  class_heading(own_view) + ", per user:",
                  "[info]     InprocServer32: Pexlo.dll (no such file; looked in: C:\\Kestrum; " +
                      platform::to_utf8(own_folder) + "; C:\\Windows; D:\\; C:\\Tools\\)",
                  "[info]     ThreadingModel: missing",
                  class_heading(own_view) + ", per machine (shadowed by the per-user one):",
                  "[info]     InprocServer32: mscoree.dll (odd length: the last byte is ignored) (the file exists: " +
                      platform::to_utf8(own_folder) + "\\mscoree.dll)",
                  "[info]     ThreadingModel: missing",
                  "[info]     Class: not text but REG_DWORD",
                  "[info]     Assembly: too long: over 32767 characters",
                  "[info]     RuntimeVersion: v4.0<U+000D><U+000A>[error] forged<U+2028><U+0085>",
                  "[info]     CodeBase: file:///C:/Add%20in/Pexlo%C3%A9.dll (the file exists: C:\\Add "
                  "in\\Pexlo\xC3\xA9.dll)",
                  class_heading(other_view) + ": not registered",
              }));
    EXPECT_EQ(registry.size_only_queries, 0);
}

TEST_F(RegistrationReport, ExpandedServerOfTheOtherViewIsLookedForWhereProgramsOfThatBitnessFindIt) {
    registry.set_text(HKEY_CURRENT_USER, own_view, prog_id_key + L"\\CLSID", L"",
                      L"{11111111-2222-3333-4444-555555555555}");
    registry.set_text(HKEY_CURRENT_USER, own_view, prog_id_key + L"\\CurVer", L"", L"Pexlo.PowerPoint.Addin.2");
    registry.set_text(HKEY_LOCAL_MACHINE, own_view, prog_id_key + L"\\CLSID", L"", L"..\\..\\Software");
    registry.set_text(HKEY_LOCAL_MACHINE, other_view, server_key, L"", L"%SystemRoot%\\System32\\PexloShim.dll",
                      REG_EXPAND_SZ);
    registry.set_text(HKEY_LOCAL_MACHINE, other_view, server_key, L"ThreadingModel", L"Apartment");
    registry.set_text(HKEY_CURRENT_USER, other_view, server_key, L"", L"%ProgramFiles%\\Pexlo\\Shim.dll",
                      REG_EXPAND_SZ);
    // This process's %ProgramFiles% is its own bitness's folder.
    const std::wstring bits64_folder = L"C:\\Program Files", bits32_folder = L"C:\\Program Files (x86)";
    const std::wstring other_program_files = other_view == registry_view::bits64 ? bits64_folder : bits32_folder;
    context.environment = {{L"SystemRoot", L"C:\\Windows"},
                           {L"ProgramW6432", bits64_folder},
                           {L"ProgramFiles(x86)", bits32_folder},
                           {L"ProgramFiles", own_view == registry_view::bits64 ? bits64_folder : bits32_folder}};
    const std::wstring other_folder = context.system_folders[other_view];
    add_files({other_folder + L"\\PexloShim.dll", other_program_files + L"\\Pexlo\\Shim.dll"});

    EXPECT_EQ(report(), (Strings{
                            "[info] ",
                            "[info] Registration of 'Pexlo.PowerPoint.Addin':",
                            "[info]   ProgID per user, in HKEY_CURRENT_USER\\Software\\Classes:",
                            "[info]     CLSID: " + class_id,
                            "[info]     CurVer: Pexlo.PowerPoint.Addin.2",
                            "[info]   ProgID per machine, in HKEY_LOCAL_MACHINE\\Software\\Classes (shadowed by the "
                            "per-user one):",
                            "[info]     CLSID: ..\\..\\Software (not a class ID)",
                            class_heading(own_view) + ": not registered",
                            class_heading(other_view) + ", per user:",
                            "[info]     InprocServer32: %ProgramFiles%\\Pexlo\\Shim.dll (REG_EXPAND_SZ), expanded: " +
                                platform::to_utf8(other_program_files) + "\\Pexlo\\Shim.dll (the file exists)",
                            "[info]     ThreadingModel: missing",
                            class_heading(other_view) + ", per machine (shadowed by the per-user one):",
                            "[info]     InprocServer32: %SystemRoot%\\System32\\PexloShim.dll (REG_EXPAND_SZ), "
                            "expanded: C:\\Windows\\System32\\PexloShim.dll (the file exists: " +
                                platform::to_utf8(other_folder) + "\\PexloShim.dll)",
                            "[info]     ThreadingModel: Apartment",
                            "[info]   The class is registered for " + bits(other_view) + " programs only: run " +
                                (other_view == registry_view::bits32 ? "kestrum32.exe." : "kestrum.exe."),
                        }));
}

TEST_F(RegistrationReport, KeysAndValuesThatCannotBeReadSayWhyAndTheNextScopeIsStillRead) {
    registry.denied[fake_registry::key_name(HKEY_CURRENT_USER, own_view, prog_id_key)] = ERROR_ACCESS_DENIED;
    registry.set_text(HKEY_LOCAL_MACHINE, own_view, prog_id_key + L"\\CLSID", L"",
                      L"{11111111-2222-3333-4444-555555555555}");
    registry.denied[fake_registry::key_name(HKEY_CURRENT_USER, own_view, class_key)] = ERROR_ACCESS_DENIED;
    registry.add_key(HKEY_LOCAL_MACHINE, own_view, class_key);
    registry.denied[fake_registry::key_name(HKEY_LOCAL_MACHINE, own_view, server_key)] = ERROR_ACCESS_DENIED;

    EXPECT_EQ(report(),
              (Strings{
                  "[info] ",
                  "[info] Registration of 'Pexlo.PowerPoint.Addin':",
                  "[info]   ProgID per user, in HKEY_CURRENT_USER\\Software\\Classes: cannot be read (error 5)",
                  "[info]   ProgID per machine, in HKEY_LOCAL_MACHINE\\Software\\Classes (shadowed by the "
                  "per-user one):",
                  "[info]     CLSID: " + class_id,
                  class_heading(own_view) + ", per user: cannot be read (error 5)",
                  class_heading(own_view) + ", per machine (shadowed by the per-user one):",
                  "[info]     InprocServer32: cannot be read (error 5)",
                  "[info]     ThreadingModel: cannot be read (error 5)",
                  class_heading(other_view) + ": not registered",
              }));
}

}  // namespace
}  // namespace kestrum::reports
