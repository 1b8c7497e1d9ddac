#include "reports/server_dependencies.h"

#include "reports/installed_runtimes.h"
#include "reports/library_search.h"
#include "reports/pe_image.h"
#include "reports/powerpoint_install.h"
#include "reports/registry_value.h"
#include "reports/value_forms.h"
#include "logging/platform_text.h"

#include <spdlog/logger.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrum::reports {
namespace {

using logging::escape_platform_text;

// The whole walk reads no more program files than this.
constexpr std::size_t max_files = 512;
// More KnownDLLs than any list.
constexpr DWORD max_known_dlls = 1024;
// A Zone.Identifier stream holds a few short lines.
constexpr std::size_t zone_bytes = 1024;
constexpr DWORD internet_zone = 3;
constexpr DWORD restricted_zone = 4;
constexpr std::size_t max_zone_digits = 3;
constexpr unsigned ascii_lower_case_bit = 0x20;
constexpr int x64_bits = 64;
constexpr int x86_bits = 32;

constexpr WORD own_machine =
    platform::this_edition_view() == platform::registry_view::bits64 ? machine_x64 : machine_x86;
constexpr int own_bits = own_machine == machine_x64 ? x64_bits : x86_bits;

// The bitness of a machine a Windows process of either kind may meet; none for others.
std::optional<int> bits_of(WORD machine) {
    if (machine == machine_x64) {
        return x64_bits;
    }
    if (machine == machine_x86) {
        return x86_bits;
    }
    return std::nullopt;
}

std::wstring folder_of(const std::wstring& path) {
    const std::size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at == 2 && path[1] == L':' ? at + 1 : at);
}

std::vector<std::wstring> known_dlls(platform::registry& registry) {
    constexpr std::wstring_view key = L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs";
    std::vector<std::wstring> names;
    for (DWORD index = 0; index < max_known_dlls; ++index) {
        const registry_value value =
            read_enumerated_value(registry, HKEY_LOCAL_MACHINE, std::wstring(key), platform::this_edition_view(), index)
                .value;
        if (value.state == value_state::missing || value.state == value_state::unreadable) {
            break;
        }
        if (value.state == value_state::present && value.type == REG_SZ && value.bytes.size() >= sizeof(wchar_t)) {
            std::wstring name(value.bytes.size() / sizeof(wchar_t), L'\0');
            std::memcpy(name.data(), value.bytes.data(), name.size() * sizeof(wchar_t));
            names.emplace_back(name.c_str());
        }
    }
    return names;
}

// The ZoneId a file's Zone.Identifier stream records: where Windows noted it
// came from. None without the stream or the line.
std::optional<DWORD> zone_of(platform::file_facts& files, const std::wstring& path) {
    std::array<BYTE, zone_bytes> bytes{};
    const std::size_t count = files.read_at((path + L":Zone.Identifier").c_str(), 0, bytes);
    constexpr std::string_view field = "zoneid=";
    constexpr int decimal = 10;
    for (std::size_t line = 0; line < count;) {
        std::size_t at = 0;
        while (at < field.size() && line + at < count &&
               (bytes[line + at] | ascii_lower_case_bit) == static_cast<BYTE>(field[at])) {
            ++at;
        }
        if (at == field.size()) {
            DWORD zone = 0;
            std::size_t digit = line + at;
            for (; digit < count && digit < line + at + max_zone_digits && bytes[digit] >= '0' && bytes[digit] <= '9';
                 ++digit) {
                zone = zone * decimal + (bytes[digit] - '0');
            }
            return digit == line + at ? std::nullopt : std::optional<DWORD>(zone);
        }
        while (line < count && bytes[line] != '\n') {
            ++line;
        }
        ++line;
    }
    return std::nullopt;
}

// Follows the import tables from one file, as the loader would, writing what
// it cannot find or could not load.
class dependency_walk {
public:
    dependency_walk(spdlog::logger& log, platform::file_facts& files, const search_places& places)
        : log_(log), files_(files), places_(places) {}

    void walk(const std::wstring& root, bool managed) {
        const pe_image image = read(root);
        if (!image.unreadable.empty()) {
            return cannot_read(root, image.unreadable);
        }
        if (!(managed && image.any_cpu) && image.machine != own_machine) {
            problems_ = true;
            if (const std::optional<int> bits = bits_of(image.machine)) {
                log_.info(L"  The server {} is {}-bit: a {}-bit process cannot load it.", escape_platform_text(root),
                          *bits, own_bits);
                return;
            }
            return cannot_read(root, fmt::format(L"built for machine 0x{:04X}", image.machine));
        }
        std::deque<std::pair<std::wstring, pe_image>> pending;
        follow(root, image.imports, false, pending);
        follow(root, image.delay_imports, true, pending);
        while (!pending.empty() && !stopped_) {
            const auto [path, module] = std::move(pending.front());
            pending.pop_front();
            follow(path, module.imports, false, pending);
        }
    }

    // The records that close the walk.
    void conclude(platform::registry& registry) {
        if (visual_cpp_met_) {
            log_.info(L"  Visual C++ 2015-2022 runtime ({}-bit): {}", own_bits, visual_cpp_runtime(registry));
        }
        if (missing_) {
            std::wstring folders;
            for (const std::wstring& folder : searched_folders(places_)) {
                folders += (folders.empty() ? L"" : L"; ") + escape_platform_text(folder);
            }
            log_.info(L"  Looked for in: {}", folders);
        }
        if (!missing_ && !problems_ && !stopped_) {
            log_.info(L"  Found every library it imports ({}), each {}-bit.", found_, own_bits);
        }
    }

    const std::vector<std::wstring>& beside_server() const { return beside_server_; }

private:
    pe_image read(const std::wstring& path) {
        ++files_read_;
        return read_pe_image(files_, path);
    }

    void cannot_read(const std::wstring& path, const std::wstring& why) {
        problems_ = true;
        log_.info(L"  Cannot be read: {} ({})", escape_platform_text(path), why);
    }

    void follow(const std::wstring& importer, const std::vector<std::wstring>& names, bool delayed,
                std::deque<std::pair<std::wstring, pe_image>>& pending) {
        for (const std::wstring& name : names) {
            if (stopped_) {
                return;
            }
            if (is_api_set(name)) {
                continue;
            }
            visual_cpp_met_ = visual_cpp_met_ || is_visual_cpp_runtime(name);
            if (!met_.insert(lower(name)).second) {
                continue;
            }
            const found_library found = find_library(files_, places_, name);
            if (found.how == found_as::nowhere) {
                missing_ = true;
                if (delayed) {
                    log_.info(L"  Missing, delay-loaded (fails only when called): {}, imported by {}",
                              escape_platform_text(name), escape_platform_text(importer));
                } else {
                    log_.info(L"  Missing: {}, imported by {}", escape_platform_text(name),
                              escape_platform_text(importer));
                }
                continue;
            }
            ++found_;
            if (found.how != found_as::file) {
                continue;  // already in the process, or mapped by Windows itself
            }
            if (found.in_server_folder) {
                beside_server_.push_back(found.path);
            }
            if (files_read_ >= max_files) {
                stopped_ = true;
                log_.info(L"  Stopped after {} files.", max_files);
                return;
            }
            pe_image image = read(found.path);
            if (!image.unreadable.empty()) {
                cannot_read(found.path, image.unreadable);
            } else if (image.machine != own_machine) {
                problems_ = true;
                if (const std::optional<int> bits = bits_of(image.machine)) {
                    log_.info(L"  Wrong bitness: {} is {}-bit, imported by {}", escape_platform_text(found.path), *bits,
                              escape_platform_text(importer));
                } else {
                    cannot_read(found.path, fmt::format(L"built for machine 0x{:04X}", image.machine));
                }
            } else {
                pending.emplace_back(found.path, std::move(image));
            }
        }
    }

    static std::wstring lower(std::wstring text) {
        for (wchar_t& unit : text) {
            if (unit >= L'A' && unit <= L'Z') {
                unit = static_cast<wchar_t>(unit - L'A' + L'a');
            }
        }
        return text;
    }

    spdlog::logger& log_;
    platform::file_facts& files_;
    const search_places& places_;
    std::set<std::wstring> met_;
    std::vector<std::wstring> beside_server_;
    std::size_t files_read_ = 0;
    std::size_t found_ = 0;
    bool missing_ = false;
    bool problems_ = false;
    bool stopped_ = false;
    bool visual_cpp_met_ = false;
};

void report_downloaded(spdlog::logger& log, platform::file_facts& files, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        const std::optional<DWORD> zone = zone_of(files, path);
        if (zone && (*zone == internet_zone || *zone == restricted_zone)) {
            log.info(
                L"  {} came from the internet (Zone.Identifier ZoneId={}): Windows may refuse to load it; "
                L"unblock it under the file's Properties.",
                escape_platform_text(path), *zone);
        }
    }
}

}  // namespace

void report_server_dependencies(spdlog::logger& log, platform::registry& registry, platform::process_context& context,
                                platform::file_facts& files, platform::process_modules& modules,
                                const std::optional<used_class>& server) {
    if (!server || server->server_path.empty() || !server->server_exists) {
        return;
    }
    log.info("");
    log.info("What loading the add-in's server needs:");

    const std::wstring& root = server->managed ? server->code_base_path : server->server_path;
    const bool root_exists = server->managed ? server->code_base_exists : server->server_exists;
    // Without a list of what is loaded, each library is looked for as a file.
    const search_places places{platform::loaded_module_paths(modules).value_or(std::vector<std::wstring>{}),
                               known_dlls(registry),
                               folder_of(root),
                               context.system_folder(platform::this_edition_view()),
                               context.folder(platform::process_folder::windows),
                               context.folder(platform::process_folder::working),
                               context.environment_variable(L"PATH")};
    dependency_walk walk(log, files, places);
    std::vector<std::wstring> downloaded_candidates;
    if (server->managed) {
        log.info(L"  .NET Framework: {}", dotnet_frameworks(registry));
        if (!server->runtime_version.empty()) {
            log.info(L"  The add-in asks for runtime {}: {}.", escape_platform_text(server->runtime_version),
                     dotnet_runtime_state(registry, server->runtime_version));
        }
    }
    if (!root.empty() && root_exists) {
        walk.walk(root, server->managed);
        walk.conclude(registry);
        downloaded_candidates.push_back(root);
    }
    const std::vector<std::wstring>& beside = walk.beside_server();
    downloaded_candidates.insert(downloaded_candidates.end(), beside.begin(), beside.end());
    report_downloaded(log, files, downloaded_candidates);
}

}  // namespace kestrum::reports
