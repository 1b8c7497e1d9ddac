#include "reports/addin_registration.h"

#include "reports/addin_prog_id.h"
#include "reports/server_location.h"
#include "reports/value_forms.h"

#include <algorithm>

namespace kestrum::reports {
namespace {

using platform::registry_view;

constexpr std::wstring_view classes_key = L"Software\\Classes\\";

std::size_t view_index(registry_view view) { return view == platform::this_edition_view() ? 0 : 1; }

bool names_class(const registry_value& value) { return value.has_text() && is_class_id(value.text); }

bool is_hosting_layer(std::wstring_view path) {
    const std::size_t name_at = path.find_last_of(L"\\/");
    return equal_ignoring_case(name_at == std::wstring_view::npos ? path : path.substr(name_at + 1), L"mscoree.dll");
}

server_registration read_server(platform::registry& registry, platform::process_context& context,
                                platform::file_facts& files, HKEY root, const std::wstring& server_key,
                                registry_view view) {
    const auto read = [&](const wchar_t* name) { return read_registry_text(registry, root, server_key, view, name); };
    server_registration server;
    server.server = read(nullptr);
    server.threading_model = read(L"ThreadingModel");
    if (server.server.has_text() && !server.server.text.empty()) {
        // What a reader of null-terminated text takes: up to a null inside it.
        const std::wstring stored(server.server.up_to_null());
        if (server.server.expandable()) {
            server.expanded = expand_environment(context, stored, view);
        }
        const bool expanded = !server.server.expandable() || !server.expanded.empty();
        const std::wstring path =
            unquoted(expanded ? (server.server.expandable() ? server.expanded : stored) : stored, server.quoted);
        if (expanded) {
            server.file = locate_server_file(context, files, path, view);
        }
        server.managed = is_hosting_layer(path);
    }
    if (!server.managed) {
        return server;
    }
    server.class_name = read(L"Class");
    server.assembly = read(L"Assembly");
    server.runtime_version = read(L"RuntimeVersion");
    server.code_base = read(L"CodeBase");
    if (server.code_base.has_text() && !server.code_base.text.empty()) {
        located_file file;
        file.path = path_from_file_url(std::wstring(server.code_base.up_to_null()));
        file.exists = files.exists(file.path.c_str());
        server.code_base_file = file;
    }
    return server;
}

std::vector<prog_id_reading> read_prog_ids(platform::registry& registry) {
    const registry_view view = platform::this_edition_view();
    const std::wstring prog_id_key = std::wstring(classes_key) + addin_prog_id;
    std::vector<prog_id_reading> readings;
    for (const auto& [scope, opened] : scopes_with(
             registry, class_scopes(), view, [&](const class_scope&) -> const std::wstring& { return prog_id_key; })) {
        prog_id_reading reading;
        reading.scope = scope;
        reading.opened = opened;
        if (opened == ERROR_SUCCESS) {
            reading.class_id = read_registry_text(registry, scope->root, prog_id_key + L"\\CLSID", view, nullptr);
            reading.current_version =
                read_registry_text(registry, scope->root, prog_id_key + L"\\CurVer", view, nullptr);
            // A version-independent ProgID may name its class only through
            // the versioned one CurVer names; that one's own CurVer is not
            // followed, so a loop of them ends here.
            const registry_value& current = reading.current_version;
            if (reading.class_id.state == value_state::missing && current.has_text() && !current.text.empty() &&
                current.text.size() == current.up_to_null().size() && current.text.find(L'\\') == std::wstring::npos) {
                reading.current_version_class_id = read_registry_text(
                    registry, scope->root, std::wstring(classes_key) + current.text + L"\\CLSID", view, nullptr);
            }
        }
        readings.push_back(std::move(reading));
    }
    return readings;
}

}  // namespace

const std::array<class_scope, 2>& class_scopes() {
    static const std::array<class_scope, 2> scopes = {{
        {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER\\Software\\Classes", L"per user"},
        {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE\\Software\\Classes", L"per machine"},
    }};
    return scopes;
}

const std::vector<class_reading>& class_registration::in(registry_view view) const { return views[view_index(view)]; }

const server_registration* addin_registration::used_server(registry_view view) const {
    if (classes.empty()) {
        return nullptr;
    }
    // Where both scopes have the class, the per-user server wins as the
    // classes' merged view takes it: key by key, so a per-user key without
    // one leaves the per-machine one.
    for (const class_reading& reading : classes.front().in(view)) {
        if (reading.opened == ERROR_SUCCESS && reading.server.server.state != value_state::missing) {
            return &reading.server;
        }
    }
    return nullptr;
}

std::optional<used_class> addin_registration::used(registry_view view) const {
    const server_registration* server = used_server(view);
    if (server == nullptr) {
        return std::nullopt;
    }
    used_class used;
    used.class_id = classes.front().class_id;
    if (server->file) {
        used.server_path = server->file->path;
        used.server_exists = server->file->exists;
    }
    used.managed = server->managed;
    if (server->runtime_version.has_text()) {
        used.runtime_version = server->runtime_version.up_to_null();
    }
    if (server->code_base_file) {
        used.code_base_path = server->code_base_file->path;
        used.code_base_exists = server->code_base_file->exists;
    }
    return used;
}

addin_registration read_addin_registration(platform::registry& registry, platform::process_context& context,
                                           platform::file_facts& files) {
    addin_registration registration;
    registration.elevated = context.process_is_elevated();
    registration.prog_ids = read_prog_ids(registry);
    for (const prog_id_reading& prog_id : registration.prog_ids) {
        const registry_value& class_id = names_class(prog_id.class_id) || !prog_id.current_version_class_id
                                             ? prog_id.class_id
                                             : *prog_id.current_version_class_id;
        if (!names_class(class_id) ||
            std::any_of(registration.classes.begin(), registration.classes.end(), [&](const class_registration& known) {
                return equal_ignoring_case(known.class_id, class_id.text);
            })) {
            continue;
        }
        class_registration found;
        found.class_id = class_id.text;
        const std::wstring class_key = std::wstring(classes_key) + L"CLSID\\" + class_id.text;
        for (const registry_view view :
             {platform::this_edition_view(), platform::other_view(platform::this_edition_view())}) {
            for (const auto& [scope, opened] :
                 scopes_with(registry, class_scopes(), view,
                             [&](const class_scope&) -> const std::wstring& { return class_key; })) {
                class_reading reading;
                reading.scope = scope;
                reading.opened = opened;
                if (opened == ERROR_SUCCESS) {
                    reading.server =
                        read_server(registry, context, files, scope->root, class_key + L"\\InprocServer32", view);
                }
                found.views[view_index(view)].push_back(std::move(reading));
            }
        }
        registration.classes.push_back(std::move(found));
    }
    return registration;
}

}  // namespace kestrum::reports
