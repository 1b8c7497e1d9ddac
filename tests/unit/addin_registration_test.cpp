#include "reports/addin_registration.h"
#include "reports/powerpoint_view.h"
#include "reports/registration_report.h"
#include "platform/text_encoding.h"
#include "tests/unit/fake_file_facts.h"
#include "tests/unit/fake_platform_facts.h"
#include "tests/unit/fake_process_context.h"
#include "tests/unit/fake_registry.h"
#include "tests/unit/recording_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestrum::reports {
namespace {

using platform::registry_view;

// {system} and {programs} stand for the system and Program Files folders of
// the row's view, as this process reaches them.
struct registration_row {
    const char* name;
    bool other_view;  // registered for the other edition's bitness, which PowerPoint has
    std::wstring server;
    DWORD type;
    std::wstring file;   // the one file there is; none when empty
    std::wstring found;  // the server file as the loader finds it
    bool exists;
    bool through_current_version = false;  // the ProgID names its class through CurVer only
    std::wstring code_base;                // with an mscoree.dll server: the file PowerPoint loads
    bool signature_asked = false;          // the user's Trust Center asks for signed add-ins
};

class AddinRegistration : public ::testing::TestWithParam<registration_row> {
protected:
    AddinRegistration() {
        // A 32-bit process reaches the 64-bit system folder as Sysnative.
        context.system_folders[registry_view::bits64] =
            own == registry_view::bits64 ? L"C:\\Windows\\System32" : L"C:\\Windows\\Sysnative";
    }

    std::wstring in_view(std::wstring text) const {
        for (const auto& [mark, folder] : {std::pair{std::wstring(L"{system}"), context.system_folders.at(view)},
                                           std::pair{std::wstring(L"{programs}"), program_files(view)}}) {
            for (std::size_t at = text.find(mark); at != std::wstring::npos; at = text.find(mark)) {
                text.replace(at, mark.size(), folder);
            }
        }
        return text;
    }

    static std::wstring program_files(registry_view of) {
        return of == registry_view::bits64 ? L"C:\\Program Files" : L"C:\\Program Files (x86)";
    }

    const registry_view own = platform::this_edition_view();
    const registry_view view = GetParam().other_view ? platform::other_view(own) : own;
    testing::fake_registry registry;
    testing::fake_process_context context;
    testing::fake_file_facts files;
};

TEST_P(AddinRegistration, FindsTheServerAsTheLoaderDoesAndBothReportsNameIt) {
    const registration_row& row = GetParam();
    const std::wstring prog_id = L"Software\\Classes\\Pexlo.PowerPoint.Addin";
    const std::wstring class_id = L"{11111111-2222-3333-4444-555555555555}";
    if (row.through_current_version) {
        registry.set_text(HKEY_LOCAL_MACHINE, own, prog_id + L"\\CurVer", L"", L"Pexlo.PowerPoint.Addin.2");
        registry.set_text(HKEY_LOCAL_MACHINE, own, prog_id + L".2\\CLSID", L"", class_id);
    } else {
        registry.set_text(HKEY_CURRENT_USER, own, prog_id + L"\\CLSID", L"", class_id);
    }
    const std::wstring server_key = L"Software\\Classes\\CLSID\\" + class_id + L"\\InprocServer32";
    registry.set_text(HKEY_LOCAL_MACHINE, view, server_key, L"", in_view(row.server), row.type);
    if (!row.code_base.empty()) {
        registry.set_text(HKEY_LOCAL_MACHINE, view, server_key, L"CodeBase", L"file:///C:/Pexlo/Managed.dll");
    }
    context.folders = {{platform::process_folder::program, L"C:\\Kestrum"},
                       {platform::process_folder::working, L"D:\\"},
                       {platform::process_folder::system_named, L"C:\\Windows\\System32"}};
    context.environment = {{L"PATH", L"C:\\Tools"},
                           {L"ProgramW6432", program_files(registry_view::bits64)},
                           {L"ProgramFiles(x86)", program_files(registry_view::bits32)},
                           {L"ProgramFiles", program_files(own)}};
    for (const std::wstring& path : {row.file, row.code_base}) {
        if (!path.empty()) {
            files.files[in_view(path)];
        }
    }
    if (row.signature_asked) {
        registry.set_raw(HKEY_CURRENT_USER, view, L"Software\\Microsoft\\Office\\16.0\\PowerPoint\\Security",
                         L"RequireAddinSig", REG_DWORD, {1, 0, 0, 0});
    }
    // PowerPoint of the row's bitness, so that its view is the row's.
    std::vector<BYTE> header(0x46, 0);
    header[0] = 'M', header[1] = 'Z', header[0x3C] = 0x40, header[0x40] = 'P', header[0x41] = 'E';
    const WORD machine = view == registry_view::bits64 ? 0x8664 : 0x014C;
    header[0x44] = static_cast<BYTE>(machine), header[0x45] = static_cast<BYTE>(machine >> 8);
    files.files[L"C:\\Office\\POWERPNT.EXE"] = {header, std::nullopt};
    registry.set_text(HKEY_LOCAL_MACHINE, view,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\powerpnt.exe", L"",
                      L"C:\\Office\\POWERPNT.EXE");

    const addin_registration registration = read_addin_registration(registry, context, files);

    const std::optional<used_class> used = registration.used(view);
    ASSERT_TRUE(used.has_value());
    EXPECT_FALSE(registration.used(platform::other_view(view)).has_value());
    EXPECT_EQ(used->class_id, class_id);
    EXPECT_EQ(used->server_path, in_view(row.found));
    EXPECT_EQ(used->server_exists, row.exists);
    EXPECT_EQ(used->managed, !row.code_base.empty());
    EXPECT_EQ(used->code_base_path, row.code_base);
    EXPECT_EQ(used->code_base_exists, !row.code_base.empty());

    // Both reports name the same file.
    const std::string shown = platform::to_utf8(row.code_base.empty() ? in_view(row.found) : row.code_base);
    testing::recording_log registration_log;
    report_registration(registration_log.logger(), registration);
    EXPECT_TRUE(std::any_of(registration_log.records().begin(), registration_log.records().end(),
                            [&](const std::string& record) { return record.find(shown) != std::string::npos; }));
    testing::fake_file_signatures signatures;
    testing::fake_running_processes processes;
    testing::recording_log view_log;
    report_powerpoint_view(view_log.logger(), registry, context, files, signatures, processes, registration, {});
    const std::string server_record =
        "[info]   Server: " + shown + ", " +
        (row.exists || !row.code_base.empty() ? "no version information" : "no such file") +
        (row.signature_asked ? ", not signed" : "");
    EXPECT_EQ(std::count(view_log.records().begin(), view_log.records().end(), server_record), 1);
    // The hosting layer's signature is shown only for a file there is.
    const std::string hosting_layer_record =
        "[info]   Signature checked by PowerPoint: " + platform::to_utf8(in_view(row.found)) + ", not signed";
    EXPECT_EQ(std::count(view_log.records().begin(), view_log.records().end(), hosting_layer_record),
              row.signature_asked && row.exists ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AddinRegistration,
    ::testing::Values(
        registration_row{"full_path", false, L"C:\\Pexlo\\Addin.dll", REG_SZ, L"C:\\Pexlo\\Addin.dll",
                         L"C:\\Pexlo\\Addin.dll", true, false, L""},
        registration_row{"quoted", false, L"\"{programs}\\Pexlo\\Addin.dll\" /unused", REG_SZ,
                         L"{programs}\\Pexlo\\Addin.dll", L"{programs}\\Pexlo\\Addin.dll", true, false, L""},
        registration_row{"bare_in_the_system_folder", false, L"PexloAddin.dll", REG_SZ, L"{system}\\PexloAddin.dll",
                         L"{system}\\PexloAddin.dll", true, false, L""},
        registration_row{"bare_on_the_path", false, L"PexloAddin.dll", REG_SZ, L"C:\\Tools\\PexloAddin.dll",
                         L"C:\\Tools\\PexloAddin.dll", true, false, L""},
        registration_row{"bare_of_the_other_view", true, L"PexloAddin.dll", REG_SZ, L"{system}\\PexloAddin.dll",
                         L"{system}\\PexloAddin.dll", true, false, L""},
        registration_row{"relative_in_the_working_folder", false, L"Pexlo\\Addin.dll", REG_SZ, L"D:\\Pexlo\\Addin.dll",
                         L"D:\\Pexlo\\Addin.dll", true, false, L""},
        registration_row{"system32_of_the_other_view", true, L"C:\\Windows\\System32\\PexloAddin.dll", REG_SZ,
                         L"{system}\\PexloAddin.dll", L"{system}\\PexloAddin.dll", true, false, L""},
        registration_row{"expanded", false, L"%ProgramFiles%\\Pexlo\\Addin.dll", REG_EXPAND_SZ,
                         L"{programs}\\Pexlo\\Addin.dll", L"{programs}\\Pexlo\\Addin.dll", true, false, L""},
        registration_row{"expanded_in_the_other_view", true, L"%ProgramFiles%\\Pexlo\\Addin.dll", REG_EXPAND_SZ,
                         L"{programs}\\Pexlo\\Addin.dll", L"{programs}\\Pexlo\\Addin.dll", true, false, L""},
        registration_row{"through_current_version", false, L"C:\\Pexlo\\Addin.dll", REG_SZ, L"C:\\Pexlo\\Addin.dll",
                         L"C:\\Pexlo\\Addin.dll", true, true, L""},
        registration_row{"missing_file", false, L"\"C:\\Pexlo\\Gone.dll\"", REG_SZ, L"", L"C:\\Pexlo\\Gone.dll", false,
                         false, L""},
        registration_row{"missing_bare_name", true, L"PexloGone.dll", REG_SZ, L"", L"PexloGone.dll", false, false, L""},
        registration_row{"managed", false, L"mscoree.dll", REG_SZ, L"{system}\\mscoree.dll", L"{system}\\mscoree.dll",
                         true, false, L"C:\\Pexlo\\Managed.dll"},
        registration_row{"managed_hosting_layer_found_nowhere", false, L"mscoree.dll", REG_SZ, L"", L"mscoree.dll",
                         false, false, L"C:\\Pexlo\\Managed.dll", true}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kestrum::reports
