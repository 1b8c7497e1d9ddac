#include "reports/registration_report.h"

#include "reports/addin_prog_id.h"
#include "reports/addin_registration.h"
#include "reports/registry_value.h"
#include "reports/value_forms.h"
#include "logging/platform_text.h"

#include <spdlog/logger.h>

#include <string>
#include <string_view>
#include <vector>

namespace kestrum::reports {
namespace {

using platform::registry_view;

// Registry values are the platform's text, not ours.
using logging::escape_platform_text;

std::wstring view_name(registry_view view) {
    std::wstring name = view == registry_view::bits64 ? L"64-bit registry view" : L"32-bit registry view";
    if (view == platform::this_edition_view()) {
        name += L" (this edition's)";
    }
    return name;
}

// " (the file exists)", naming the file looked at when it is not |shown|.
std::wstring existence(const located_file& file, std::wstring_view shown) {
    std::wstring said = file.exists ? L" (the file exists" : L" (no such file";
    if (file.path != shown) {
        said += L": " + escape_platform_text(file.path);
    }
    return said + L")";
}

// Where the loader's search found the file, or each folder it looked in.
std::wstring search_result(const located_file& file) {
    using found_in = located_file::found_in;
    if (file.exists && file.place == found_in::system_folder) {
        return L" (the file exists: " + escape_platform_text(file.path) + L")";
    }
    if (file.exists) {
        std::wstring said = L" (found through the search path: " + escape_platform_text(file.path) + L")";
        if (file.place == found_in::program_folder) {
            said += L" (a planting risk: found in the program's own folder, not where the add-in is installed)";
        } else if (file.place == found_in::working_folder) {
            said += L" (a planting risk: found in the working folder, which depends on how the program was started)";
        }
        return said;
    }
    if (file.looked_in.empty()) {
        return L" (no folder to look in)";
    }
    std::wstring said = L" (no such file; looked in";
    for (std::size_t index = 0; index < file.looked_in.size(); ++index) {
        said += (index == 0 ? L": " : L"; ") + escape_platform_text(file.looked_in[index]);
    }
    return said + L")";
}

std::wstring describe_server(const server_registration& server) {
    const registry_value& value = server.server;
    std::wstring said = describe_registry_value(value);
    if (!value.has_text() || value.text.empty()) {
        return said;
    }
    if (value.expandable()) {
        if (server.expanded.empty()) {
            return said + L", cannot be expanded";
        }
        said += L", expanded: " + escape_platform_text(server.expanded);
    }
    if (server.quoted) {
        said += L" (quoted)";
    }
    if (!server.file) {
        return said;
    }
    // The file looked at is named where it is not what the record shows.
    const std::wstring& shown = value.expandable() ? server.expanded : value.text;
    return said + (server.file->searched ? search_result(*server.file) : existence(*server.file, shown));
}

void report_server(spdlog::logger& log, const server_registration& server) {
    log.info(L"    InprocServer32: {}", describe_server(server));
    log.info(L"    ThreadingModel: {}", describe_registry_value(server.threading_model));
    if (!server.managed) {
        return;
    }
    // A .NET class: the runtime finds the add-in from these.
    log.info(L"    Class: {}", describe_registry_value(server.class_name));
    log.info(L"    Assembly: {}", describe_registry_value(server.assembly));
    log.info(L"    RuntimeVersion: {}", describe_registry_value(server.runtime_version));
    log.info(L"    CodeBase: {}{}", describe_registry_value(server.code_base),
             server.code_base_file ? existence(*server.code_base_file, L"") : L"");
}

// The class's registration in one view, per user and per machine; true when
// it is registered there at all.
bool report_class(spdlog::logger& log, const class_registration& registered, registry_view view) {
    const std::wstring heading = L"  Class " + registered.class_id + L" in the " + view_name(view);
    const std::vector<class_reading>& readings = registered.in(view);
    for (std::size_t index = 0; index < readings.size(); ++index) {
        const class_reading& reading = readings[index];
        const wchar_t* shadowed =
            index > 0 && reading.scope->root == HKEY_LOCAL_MACHINE ? L" (shadowed by the per-user one)" : L"";
        if (reading.opened != ERROR_SUCCESS) {
            log.info(L"{}, {}{}: {}", heading, reading.scope->name, shadowed, cannot_be_read(reading.opened));
            continue;
        }
        log.info(L"{}, {}{}:", heading, reading.scope->name, shadowed);
        report_server(log, reading.server);
    }
    if (readings.empty()) {
        log.info(L"{}: not registered", heading);
    }
    return !readings.empty();
}

// Where the ProgID is registered and the class IDs it names, per user first.
void report_prog_ids(spdlog::logger& log, const std::vector<prog_id_reading>& readings) {
    for (std::size_t index = 0; index < readings.size(); ++index) {
        const prog_id_reading& reading = readings[index];
        const wchar_t* shadowed =
            index > 0 && reading.scope->root == HKEY_LOCAL_MACHINE ? L" (shadowed by the per-user one)" : L"";
        if (reading.opened != ERROR_SUCCESS) {
            log.info(L"  ProgID {}, in {}{}: {}", reading.scope->name, reading.scope->key_name, shadowed,
                     cannot_be_read(reading.opened));
            continue;
        }
        log.info(L"  ProgID {}, in {}{}:", reading.scope->name, reading.scope->key_name, shadowed);
        const registry_value& class_id = reading.class_id;
        const bool not_class_id = class_id.has_text() && !class_id.text.empty() && !is_class_id(class_id.text);
        log.info(L"    CLSID: {}{}", describe_registry_value(class_id), not_class_id ? L" (not a class ID)" : L"");
        if (reading.current_version.state != value_state::missing) {
            log.info(L"    CurVer: {}{}", describe_registry_value(reading.current_version),
                     reading.current_version_class_id
                         ? L", whose CLSID is " + describe_registry_value(*reading.current_version_class_id)
                         : L"");
        }
    }
    if (readings.empty()) {
        log.info(L"  ProgID: not registered, neither per user ({}) nor per machine ({})", class_scopes()[0].key_name,
                 class_scopes()[1].key_name);
    }
}

}  // namespace

void report_registration(spdlog::logger& log, const addin_registration& registration) {
    log.info("");
    log.info(L"Registration of '{}':", addin_prog_id);
    if (registration.elevated) {
        log.info(
            L"  This run is elevated (Run as administrator): COM ignores per-user registrations here, but PowerPoint, "
            L"run normally, uses them. Run kestrum without elevation to check the add-in as PowerPoint loads it.");
    }

    report_prog_ids(log, registration.prog_ids);
    const registry_view own = platform::this_edition_view();
    const registry_view other = platform::other_view(own);
    for (std::size_t index = 0; index < registration.classes.size(); ++index) {
        const bool here = report_class(log, registration.classes[index], own);
        const bool there = report_class(log, registration.classes[index], other);
        // The class Windows would use is the first one: per user before per machine.
        if (index == 0 && !here && there) {
            log.info(L"  The class is registered for {} programs only: run {}.",
                     other == registry_view::bits32 ? L"32-bit" : L"64-bit",
                     other == registry_view::bits32 ? L"kestrum32.exe" : L"kestrum.exe");
        }
    }
}

}  // namespace kestrum::reports
