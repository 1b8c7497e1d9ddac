#include "checks/registration_report.h"

#include "checks/addin_activation.h"
#include "checks/registry_text.h"
#include "logging/platform_text.h"
#include "platform/text_encoding.h"

#include <spdlog/logger.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::checks {
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

bool equal_ignoring_case(std::wstring_view left, std::wstring_view right) {
    return left.size() == right.size() &&
           ::CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool starts_with_ignoring_case(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}": only such text is used as a key
// name, so a value cannot lead the report to read some other key.
bool is_class_id(std::wstring_view text) {
    constexpr std::wstring_view pattern = L"{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (text.size() != pattern.size()) {
        return false;
    }
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] == L'x' ? std::iswxdigit(text[at]) == 0 : text[at] != pattern[at]) {
            return false;
        }
    }
    return true;
}

std::wstring type_name(DWORD type) {
    switch (type) {
        case REG_NONE:
            return L"REG_NONE";
        case REG_BINARY:
            return L"REG_BINARY";
        case REG_DWORD:
            return L"REG_DWORD";
        case REG_DWORD_BIG_ENDIAN:
            return L"REG_DWORD_BIG_ENDIAN";
        case REG_LINK:
            return L"REG_LINK";
        case REG_MULTI_SZ:
            return L"REG_MULTI_SZ";
        case REG_QWORD:
            return L"REG_QWORD";
        default:
            return L"type " + std::to_wstring(type);
    }
}

// A value as the engineer needs to read it, also when it is not usable text.
std::wstring describe(const registry_text& value) {
    switch (value.state) {
        case value_state::text:
            if (value.text.empty()) {
                return L"empty";
            }
            return escape_platform_text(value.text) + (value.expandable ? L" (REG_EXPAND_SZ)" : L"");
        case value_state::missing:
            return L"missing";
        case value_state::not_text:
            return L"not text but " + type_name(value.type);
        case value_state::too_long:
            return L"too long: over " + std::to_wstring(max_value_chars) + L" characters";
        case value_state::unreadable:
            break;
    }
    return L"cannot be read (error " + std::to_wstring(value.error) + L")";
}

bool file_exists(platform::registry& registry, const std::wstring& path) {
    const DWORD attributes = registry.file_attributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Where a server registered in |view| is found by a program of that view's
// bitness, as this process can look: a bare name in that view's system
// folder, and a path into this process's system folder in the other view's.
std::wstring where_to_look(platform::registry& registry, const std::wstring& path, registry_view view) {
    if (path.find_first_of(L"\\/:") == std::wstring::npos) {
        const std::wstring folder = registry.system_folder(view);
        return folder.empty() ? folder : folder + L"\\" + path;
    }
    if (view != platform::this_edition_view()) {
        const std::wstring own = registry.system_folder(platform::this_edition_view());
        const std::wstring other = registry.system_folder(view);
        if (!own.empty() && !other.empty() && starts_with_ignoring_case(path, own + L"\\")) {
            return other + path.substr(own.size());
        }
    }
    return path;
}

// " (the file exists)", naming the file looked at when it is not |shown|.
std::wstring existence(platform::registry& registry, const std::wstring& looked_at, std::wstring_view shown) {
    if (looked_at.empty()) {
        return L" (no system folder to look in)";
    }
    std::wstring said = file_exists(registry, looked_at) ? L" (the file exists" : L" (no such file";
    if (looked_at != shown) {
        said += L": " + escape_platform_text(looked_at);
    }
    return said + L")";
}

std::wstring describe_server(platform::registry& registry, const registry_text& server, registry_view view) {
    if (server.state != value_state::text || server.text.empty()) {
        return describe(server);
    }
    std::wstring said = escape_platform_text(server.text);
    std::wstring path = server.text;
    if (server.expandable) {
        path = expand_environment(registry, server.text);
        if (path.empty()) {
            return said + L" (REG_EXPAND_SZ, cannot be expanded)";
        }
        said += L" (REG_EXPAND_SZ), expanded: " + escape_platform_text(path);
    }
    return said + existence(registry, where_to_look(registry, path, view), path);
}

// A .NET CodeBase is a URL, "file:///C:/folder/name.dll"; anything else is
// taken as the path it looks like.
std::wstring code_base_path(const std::wstring& code_base) {
    constexpr std::wstring_view local_file = L"file:///";
    constexpr std::wstring_view shared_file = L"file://";  // file://server/share/...
    std::wstring path;
    if (starts_with_ignoring_case(code_base, local_file)) {
        path = code_base.substr(local_file.size());
    } else if (starts_with_ignoring_case(code_base, shared_file)) {
        path = L"\\\\" + code_base.substr(shared_file.size());
    } else {
        return code_base;
    }
    for (wchar_t& character : path) {
        if (character == L'/') {
            character = L'\\';
        }
    }
    if (path.find(L'%') == std::wstring::npos) {
        return path;
    }
    // Percent-escapes stand for the bytes of the UTF-8 form.
    const auto hex_value = [](char digit) {
        constexpr int ten = 10;
        if (digit >= '0' && digit <= '9') {
            return digit - '0';
        }
        if (digit >= 'A' && digit <= 'F') {
            return digit - 'A' + ten;
        }
        return digit >= 'a' && digit <= 'f' ? digit - 'a' + ten : -1;
    };
    const std::string utf8 = platform::to_utf8(path);
    std::string decoded;
    for (std::size_t at = 0; at < utf8.size(); ++at) {
        if (utf8[at] == '%' && at + 2 < utf8.size() && hex_value(utf8[at + 1]) >= 0 && hex_value(utf8[at + 2]) >= 0) {
            constexpr int high_shift = 4;
            decoded += static_cast<char>((hex_value(utf8[at + 1]) << high_shift) | hex_value(utf8[at + 2]));
            at += 2;
        } else {
            decoded += utf8[at];
        }
    }
    return platform::to_utf16(decoded);
}

std::wstring describe_code_base(platform::registry& registry, const registry_text& code_base) {
    if (code_base.state != value_state::text || code_base.text.empty()) {
        return describe(code_base);
    }
    return describe(code_base) + existence(registry, code_base_path(code_base.text), L"");
}

bool is_hosting_layer(const registry_text& server) {
    if (server.state != value_state::text) {
        return false;
    }
    const std::size_t name_at = server.text.find_last_of(L"\\/");
    return equal_ignoring_case(name_at == std::wstring::npos ? server.text : server.text.substr(name_at + 1),
                               L"mscoree.dll");
}

void report_server(spdlog::logger& log, platform::registry& registry, HKEY root, const std::wstring& class_key,
                   registry_view view) {
    const std::wstring server_key = class_key + L"\\InprocServer32";
    const auto read = [&](const wchar_t* name) { return read_registry_text(registry, root, server_key, view, name); };

    const registry_text server = read(nullptr);
    log.info(L"    InprocServer32: {}", describe_server(registry, server, view));
    log.info(L"    ThreadingModel: {}", describe(read(L"ThreadingModel")));
    if (!is_hosting_layer(server)) {
        return;
    }
    // A .NET class: the runtime finds the add-in from these.
    for (const wchar_t* name : {L"Class", L"Assembly", L"RuntimeVersion"}) {
        log.info(L"    {}: {}", name, describe(read(name)));
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
            log.info(L"    CLSID: {} (not a class ID)", describe(class_id));
        } else {
            log.info(L"    CLSID: {}", describe(class_id));
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
            log.info(L"    CurVer: {}", describe(current));
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

}  // namespace kestrum::checks
