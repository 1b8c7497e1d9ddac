#include "reports/registration_report.h"

#include "reports/addin_prog_id.h"
#include "reports/registry_text.h"
#include "reports/value_forms.h"
#include "logging/platform_text.h"
#include "platform/text_encoding.h"

#include <spdlog/logger.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::reports {
namespace {

using platform::registry_view;

// Registry values are the platform's text, not ours.
using logging::escape_platform_text;

// Where COM classes are registered: per user first (it wins), then per machine.
struct class_root {
    HKEY key;
    const wchar_t* name;
    const wchar_t* scope;
};

std::array<class_root, 2> class_roots() {
    return {{{HKEY_CURRENT_USER, L"HKEY_CURRENT_USER\\Software\\Classes", L"per user"},
             {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE\\Software\\Classes", L"per machine"}}};
}

constexpr std::wstring_view classes_key = L"Software\\Classes\\";

std::wstring view_name(registry_view view) {
    std::wstring name = view == registry_view::bits64 ? L"64-bit registry view" : L"32-bit registry view";
    if (view == platform::this_edition_view()) {
        name += L" (this edition's)";
    }
    return name;
}

bool file_exists(platform::registry& registry, const std::wstring& path) {
    const DWORD attributes = registry.file_attributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A path into the folder this process calls System32 as a program of
// |view|'s bitness reaches it: in that view's system folder. A 32-bit program
// on 64-bit Windows has its System32 sent to SysWOW64; kestrum.exe reaches it
// as SysWOW64, kestrum32.exe reaches the 64-bit one as Sysnative.
std::wstring in_view(platform::registry& registry, const std::wstring& path, registry_view view) {
    const std::wstring named = registry.folder(platform::process_folder::system_named);
    if (named.empty() || !starts_with_ignoring_case(path, named) ||
        (path.size() > named.size() && path[named.size()] != L'\\')) {
        return path;
    }
    const std::wstring folder = registry.system_folder(view);
    return folder.empty() ? path : folder + path.substr(named.size());
}

// " (the file exists)", naming the file looked at when it is not |shown|.
std::wstring existence(platform::registry& registry, const std::wstring& looked_at, std::wstring_view shown) {
    std::wstring said = file_exists(registry, looked_at) ? L" (the file exists" : L" (no such file";
    if (looked_at != shown) {
        said += L": " + escape_platform_text(looked_at);
    }
    return said + L")";
}

// A name or a path on no drive and from no root: the loader searches for it.
bool is_searched(std::wstring_view path) {
    return path.find(L':') == std::wstring_view::npos && (path.empty() || (path[0] != L'\\' && path[0] != L'/'));
}

// Where the loader looks for a DLL named without a full path, in its order
// (standard search order, safe DLL search mode on): the program's folder,
// the system folder, the Windows folder, the working folder, then PATH.
struct search_folder {
    std::wstring folder;
    const wchar_t* planting_risk;  // null where a file found is no planting risk
};

std::vector<search_folder> search_folders(platform::registry& registry, registry_view view) {
    std::vector<search_folder> folders = {
        {registry.folder(platform::process_folder::program),
         L" (a planting risk: found in the program's own folder, not where the add-in is installed)"},
        {registry.system_folder(view), nullptr},
        {registry.folder(platform::process_folder::windows), nullptr},
        {registry.folder(platform::process_folder::working),
         L" (a planting risk: found in the working folder, which depends on how the program was started)"}};
    const std::wstring path = registry.environment_variable(L"PATH");
    for (std::size_t from = 0; from <= path.size();) {
        const std::size_t to = std::min(path.find(L';', from), path.size());
        std::wstring entry = path.substr(from, to - from);
        if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
            entry = entry.substr(1, entry.size() - 2);
        }
        folders.push_back({std::move(entry), nullptr});
        from = to + 1;
    }
    return folders;
}

std::wstring search_for(platform::registry& registry, std::wstring_view path, registry_view view) {
    const std::wstring system = registry.system_folder(view);
    std::vector<std::wstring> looked_in;
    for (const search_folder& place : search_folders(registry, view)) {
        if (place.folder.empty()) {
            continue;
        }
        const std::wstring folder = in_view(registry, place.folder, view);
        const std::wstring candidate = joined_path(folder, path);
        if (file_exists(registry, candidate)) {
            if (equal_ignoring_case(folder, system)) {
                return L" (the file exists: " + escape_platform_text(candidate) + L")";
            }
            return L" (found through the search path: " + escape_platform_text(candidate) + L")" +
                   (place.planting_risk ? place.planting_risk : L"");
        }
        bool seen = false;
        for (const std::wstring& known : looked_in) {
            seen = seen || equal_ignoring_case(known, folder);
        }
        if (!seen) {
            looked_in.push_back(folder);
        }
    }
    if (looked_in.empty()) {
        return L" (no folder to look in)";
    }
    std::wstring said = L" (no such file; looked in";
    for (std::size_t index = 0; index < looked_in.size(); ++index) {
        said += (index == 0 ? L": " : L"; ") + escape_platform_text(looked_in[index]);
    }
    return said + L")";
}

// Where a server registered in |view| is found by a program of that view's
// bitness, as this process can look; |shown| is the value as the record shows it.
std::wstring locate(platform::registry& registry, const std::wstring& path, std::wstring_view shown,
                    registry_view view) {
    if (is_searched(path)) {
        return search_for(registry, path, view);
    }
    return existence(registry, in_view(registry, path, view), shown);
}

std::wstring describe_server(platform::registry& registry, const registry_text& server, registry_view view) {
    std::wstring said = describe_registry_text(server);
    if (server.state != value_state::text || server.text.empty()) {
        return said;
    }
    // What a reader of null-terminated text takes: up to a null inside it.
    std::wstring path(server.up_to_null());
    if (server.expandable) {
        path = expand_environment(registry, path, view);
        if (path.empty()) {
            return said + L", cannot be expanded";
        }
        said += L", expanded: " + escape_platform_text(path);
    }
    // The file looked at is named where it is not what the record shows.
    const std::wstring shown = server.expandable ? path : server.text;
    // COM takes a quoted name without its quotes and anything after them.
    if (path.size() >= 2 && path.front() == L'"') {
        if (const std::size_t closing = path.find(L'"', 1); closing != std::wstring::npos) {
            path = path.substr(1, closing - 1);
            said += L" (quoted)";
        }
    }
    return said + locate(registry, path, shown, view);
}

std::wstring describe_code_base(platform::registry& registry, const registry_text& code_base) {
    if (code_base.state != value_state::text || code_base.text.empty()) {
        return describe_registry_text(code_base);
    }
    return describe_registry_text(code_base) +
           existence(registry, path_from_file_url(std::wstring(code_base.up_to_null())), L"");
}

bool is_hosting_layer(const registry_text& server) {
    if (server.state != value_state::text) {
        return false;
    }
    const std::wstring_view path = server.up_to_null();
    const std::size_t name_at = path.find_last_of(L"\\/");
    return equal_ignoring_case(name_at == std::wstring_view::npos ? path : path.substr(name_at + 1), L"mscoree.dll");
}

void report_server(spdlog::logger& log, platform::registry& registry, HKEY root, const std::wstring& class_key,
                   registry_view view) {
    const std::wstring server_key = class_key + L"\\InprocServer32";
    const auto read = [&](const wchar_t* name) { return read_registry_text(registry, root, server_key, view, name); };

    const registry_text server = read(nullptr);
    log.info(L"    InprocServer32: {}", describe_server(registry, server, view));
    log.info(L"    ThreadingModel: {}", describe_registry_text(read(L"ThreadingModel")));
    if (!is_hosting_layer(server)) {
        return;
    }
    // A .NET class: the runtime finds the add-in from these.
    for (const wchar_t* name : {L"Class", L"Assembly", L"RuntimeVersion"}) {
        log.info(L"    {}: {}", name, describe_registry_text(read(name)));
    }
    log.info(L"    CodeBase: {}", describe_code_base(registry, read(L"CodeBase")));
}

// The class's registration in one view, per user and per machine; true when
// it is registered there at all.
bool report_class(spdlog::logger& log, platform::registry& registry, const std::wstring& class_id, registry_view view) {
    const std::wstring class_key = std::wstring(classes_key) + L"CLSID\\" + class_id;
    const std::wstring heading = L"  Class " + class_id + L" in the " + view_name(view);
    bool registered = false;
    for (const class_root& root : class_roots()) {
        const LSTATUS opened = registry.probe_key(root.key, class_key.c_str(), view);
        if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND) {
            continue;
        }
        const wchar_t* shadowed =
            registered && root.key == HKEY_LOCAL_MACHINE ? L" (shadowed by the per-user one)" : L"";
        registered = true;
        if (opened != ERROR_SUCCESS) {
            log.info(L"{}, {}{}: cannot be read (error {})", heading, root.scope, shadowed, opened);
            continue;
        }
        log.info(L"{}, {}{}:", heading, root.scope, shadowed);
        report_server(log, registry, root.key, class_key, view);
    }
    if (!registered) {
        log.info(L"{}: not registered", heading);
    }
    return registered;
}

// Where the ProgID is registered and the class IDs it names, per user first.
std::vector<std::wstring> report_prog_id(spdlog::logger& log, platform::registry& registry) {
    const registry_view view = platform::this_edition_view();
    const std::wstring prog_id_key = std::wstring(classes_key) + addin_prog_id;
    std::vector<std::wstring> class_ids;
    bool found = false;
    for (const class_root& root : class_roots()) {
        const LSTATUS opened = registry.probe_key(root.key, prog_id_key.c_str(), view);
        if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND) {
            continue;
        }
        const wchar_t* shadowed = found && root.key == HKEY_LOCAL_MACHINE ? L" (shadowed by the per-user one)" : L"";
        found = true;
        if (opened != ERROR_SUCCESS) {
            log.info(L"  ProgID {}, in {}{}: cannot be read (error {})", root.scope, root.name, shadowed, opened);
            continue;
        }
        log.info(L"  ProgID {}, in {}{}:", root.scope, root.name, shadowed);
        const registry_text class_id = read_registry_text(registry, root.key, prog_id_key + L"\\CLSID", view, nullptr);
        if (class_id.state == value_state::text && !class_id.text.empty() && !is_class_id(class_id.text)) {
            log.info(L"    CLSID: {} (not a class ID)", describe_registry_text(class_id));
        } else {
            log.info(L"    CLSID: {}", describe_registry_text(class_id));
        }
        if (class_id.state == value_state::text && is_class_id(class_id.text)) {
            bool seen = false;
            for (const std::wstring& known : class_ids) {
                seen = seen || equal_ignoring_case(known, class_id.text);
            }
            if (!seen) {
                class_ids.push_back(class_id.text);
            }
        }
        const registry_text current = read_registry_text(registry, root.key, prog_id_key + L"\\CurVer", view, nullptr);
        if (current.state != value_state::missing) {
            log.info(L"    CurVer: {}", describe_registry_text(current));
        }
    }
    if (!found) {
        log.info(L"  ProgID: not registered, neither per user ({}) nor per machine ({})", class_roots()[0].name,
                 class_roots()[1].name);
    }
    return class_ids;
}

}  // namespace

void report_registration(spdlog::logger& log, platform::registry& registry) {
    log.info("");
    log.info(L"Registration of '{}':", addin_prog_id);
    if (registry.process_is_elevated()) {
        log.info(
            L"  This run is elevated (Run as administrator): COM ignores per-user registrations here, but PowerPoint, "
            L"run normally, uses them. Run kestrum without elevation to check the add-in as PowerPoint loads it.");
    }

    const std::vector<std::wstring> class_ids = report_prog_id(log, registry);
    const registry_view own = platform::this_edition_view();
    const registry_view other = platform::other_view(own);
    for (std::size_t index = 0; index < class_ids.size(); ++index) {
        const bool here = report_class(log, registry, class_ids[index], own);
        const bool there = report_class(log, registry, class_ids[index], other);
        // The class Windows would use is the first one: per user before per machine.
        if (index == 0 && !here && there) {
            log.info(L"  The class is registered for {} programs only: run {}.",
                     other == registry_view::bits32 ? L"32-bit" : L"64-bit",
                     other == registry_view::bits32 ? L"kestrum32.exe" : L"kestrum.exe");
        }
    }
}

}  // namespace kestrum::reports
