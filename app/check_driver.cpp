#include "app/check_driver.h"

#include "app/verdict.h"
#include "checks/addin_activation.h"
#include "checks/module_listing.h"
#include "reports/addin_identity.h"
#include "reports/powerpoint_view.h"
#include "reports/registration_report.h"
#include "reports/registry_text.h"
#include "reports/server_dependencies.h"
#include "reports/value_forms.h"
#include "checks/run_status.h"
#include "checks/runtime_listing.h"

#include <spdlog/logger.h>

#include <optional>
#include <string>

namespace kestrum::app {
namespace {

void write_banner(spdlog::logger& log) {
    log.info("Pexlo Kestrum v1");
    log.info("Copyright (c) Pexlo. All rights reserved.");
    log.info("");
}

// COM loads a .NET add-in's server by the bare name "mscoree.dll", and a bare
// name is looked for in the program's own folder before the system's: a file
// of that name dropped beside kestrum.exe would run with the user's rights. A
// bare-name load is answered by a module of that name already loaded, so the
// system's copy is held for the activation. The hold goes as soon as the
// activation returns: the library then stays only if the add-in took it up,
// and the module listing shows what the add-in brought in, nothing of ours.
// The add-in's own libraries are still looked for exactly as PowerPoint would.
std::optional<checks::addin_instance> activate_holding_hosting_layer(spdlog::logger& log,
                                                                     const platform_services& platform,
                                                                     checks::run_status& status) {
    const platform::unique_module hosting_layer = platform.clr.hold_hosting_layer();
    return checks::activate_addin(log, platform.com, status);
}

// The add-in's server as COM finds it in this edition's view (per user first,
// unless elevated, when COM ignores per-user classes), and the folders its
// imports are looked for in.
reports::server_dependency_inputs dependency_inputs(platform::registry& registry) {
    const platform::registry_view view = platform::this_edition_view();
    const auto read = [&](const std::wstring& subkey, const wchar_t* name) {
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            if (root == HKEY_CURRENT_USER && registry.process_is_elevated()) {
                continue;
            }
            reports::registry_text value =
                reports::read_registry_text(registry, root, L"Software\\Classes\\" + subkey, view, name);
            if (value.state == reports::value_state::text && !value.text.empty()) {
                return std::wstring(value.up_to_null());
            }
        }
        return std::wstring();
    };
    reports::server_dependency_inputs inputs{{},
                                             false,
                                             {},
                                             {},
                                             registry.system_folder(view),
                                             registry.folder(platform::process_folder::windows),
                                             registry.folder(platform::process_folder::working),
                                             registry.environment_variable(L"PATH")};
    const std::wstring class_id = read(std::wstring(reports::addin_prog_id) + L"\\CLSID", nullptr);
    if (!reports::is_class_id(class_id)) {
        return inputs;
    }
    const std::wstring server_key = L"CLSID\\" + class_id + L"\\InprocServer32";
    std::wstring path = reports::expand_environment(registry, read(server_key, nullptr));
    if (path.size() >= 2 && path.front() == L'"') {
        path = path.substr(1, path.find(L'"', 1) == std::wstring::npos ? std::wstring::npos : path.find(L'"', 1) - 1);
    }
    if (!path.empty() && path.find_first_of(L"\\/:") == std::wstring::npos) {
        path = reports::joined_path(inputs.system_folder, path);
    }
    inputs.server_path = path;
    inputs.managed = reports::ends_with_ignoring_case(path, L"\\mscoree.dll");
    if (inputs.managed) {
        inputs.runtime_version = read(server_key, L"RuntimeVersion");
        const std::wstring code_base = read(server_key, L"CodeBase");
        inputs.code_base_path = code_base.empty() ? code_base : reports::path_from_file_url(code_base);
    }
    return inputs;
}

}  // namespace

platform_services system_platform_services() {
    return {platform::system_com_runtime(), platform::system_process_modules(), platform::system_clr_hosting(),
            platform::system_registry(), platform::system_file_facts()};
}

void run_checks(spdlog::logger& log, const platform_services& platform) {
    write_banner(log);

    checks::run_status status;
    if (auto addin = activate_holding_hosting_layer(log, platform, status)) {
        log.info("Successfully created Pexlo PowerPoint Addin object.");
        log.info("");

        checks::list_process_modules(log, platform.process);

        log.info("");
        log.info("Listing .NET assemblies loaded by Pexlo add-in:");
        checks::list_managed_runtimes(log, platform.clr, status);

        addin->tear_down();
    } else {
        reports::report_registration(log, platform.registry);
        reports::report_server_dependencies(log, platform.registry, platform.files, platform.process,
                                            dependency_inputs(platform.registry));
    }
    // Whether PowerPoint itself would load the add-in: what the customer
    // sees, whichever way the activation went.
    reports::report_powerpoint_view(log, platform.registry, platform.files);

    write_verdict(log, status);
}

}  // namespace kestrum::app
