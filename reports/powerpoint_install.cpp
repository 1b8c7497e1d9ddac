#include "reports/powerpoint_install.h"

#include "reports/registry_value.h"
#include "reports/value_forms.h"

#include <array>
#include <algorithm>
#include <cstddef>
#include <vector>

namespace kestrum::reports {
namespace {

using platform::registry_view;

constexpr DWORD pe_offset_field = 0x3C;
constexpr std::array<BYTE, 2> dos_signature = {'M', 'Z'};
constexpr std::array<BYTE, 4> pe_signature = {'P', 'E', 0, 0};

constexpr std::array<registry_view, 2> both_views = {registry_view::bits64, registry_view::bits32};
constexpr std::array<const wchar_t*, 3> office_versions = {L"16.0", L"15.0", L"14.0"};

// A path from a registry value: expanded when it is REG_EXPAND_SZ, the quotes
// around it dropped; empty when the value holds none.
std::wstring path_from(platform::process_context& context, const registry_value& value) {
    if (!value.has_text()) {
        return {};
    }
    std::wstring path = value.expandable() ? expand_environment(context, value.text) : value.text;
    if (path.size() >= 2 && path.front() == L'"') {
        const std::size_t closing = path.find(L'"', 1);
        path = path.substr(1, closing == std::wstring::npos ? std::wstring::npos : closing - 1);
    }
    return path;
}

}  // namespace

std::optional<WORD> pe_machine(platform::file_facts& files, const std::wstring& path) {
    std::array<BYTE, pe_offset_field + sizeof(DWORD)> dos_header{};
    if (files.read_at(path.c_str(), 0, dos_header) != dos_header.size() || dos_header[0] != dos_signature[0] ||
        dos_header[1] != dos_signature[1]) {
        return std::nullopt;
    }
    constexpr unsigned byte_bits = 8;
    DWORD pe_at = 0;
    for (std::size_t index = sizeof(DWORD); index-- > 0;) {
        pe_at = (pe_at << byte_bits) | dos_header[pe_offset_field + index];
    }
    std::array<BYTE, pe_signature.size() + sizeof(WORD)> pe_header{};
    if (files.read_at(path.c_str(), pe_at, pe_header) != pe_header.size() ||
        !std::equal(pe_signature.begin(), pe_signature.end(), pe_header.begin())) {
        return std::nullopt;
    }
    return static_cast<WORD>(pe_header[pe_signature.size()] | (pe_header[pe_signature.size() + 1] << byte_bits));
}

std::optional<registry_view> view_of_machine(WORD machine) {
    switch (machine) {
        case machine_x64:
        case machine_arm64:
            return registry_view::bits64;
        case machine_x86:
            return registry_view::bits32;
        default:
            return std::nullopt;
    }
}

std::optional<powerpoint_install> find_powerpoint(platform::registry& registry, platform::process_context& context,
                                                  platform::file_facts& files) {
    // App Paths, then each version's InstallRoot, then Click-to-Run, each in both views.
    std::vector<std::wstring> candidates;
    candidates.reserve(both_views.size() * (1 + office_versions.size() + 1));
    for (const registry_view view : both_views) {
        candidates.push_back(path_from(
            context, read_registry_text(registry, HKEY_LOCAL_MACHINE,
                                        L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\powerpnt.exe", view,
                                        nullptr)));
    }
    for (const wchar_t* version : office_versions) {
        const std::wstring key =
            std::wstring(L"Software\\Microsoft\\Office\\") + version + L"\\PowerPoint\\InstallRoot";
        for (const registry_view view : both_views) {
            candidates.push_back(
                joined_path(path_from(context, read_registry_text(registry, HKEY_LOCAL_MACHINE, key, view, L"Path")),
                            L"POWERPNT.EXE"));
        }
    }
    for (const registry_view view : both_views) {
        candidates.push_back(
            joined_path(path_from(context, read_registry_text(registry, HKEY_LOCAL_MACHINE,
                                                              L"Software\\Microsoft\\Office\\ClickToRun\\Configuration",
                                                              view, L"InstallationPath")),
                        L"root\\Office16\\POWERPNT.EXE"));
    }
    for (const std::wstring& path : candidates) {
        // A device is never PowerPoint, and reading one may wait on it.
        if (!path.empty() && !is_device_name(path) && files.exists(path.c_str())) {
            return powerpoint_install{path, pe_machine(files, path), files.version(path.c_str())};
        }
    }
    return std::nullopt;
}

}  // namespace kestrum::reports
