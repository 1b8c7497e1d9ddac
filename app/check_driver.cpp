#include "app/check_driver.h"

#include "app/verdict.h"
#include "checks/addin_activation.h"
#include "checks/module_listing.h"
#include "reports/powerpoint_crash_reports.h"
#include "reports/powerpoint_view.h"
#include "reports/registration_report.h"
#include "reports/server_dependencies.h"
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

}  // namespace

platform_services system_platform_services() {
    return {platform::system_com_runtime(),      platform::system_process_modules(), platform::system_clr_hosting(),
            platform::system_registry(),         platform::system_process_context(), platform::system_file_facts(),
            platform::system_folder_listing(),   platform::system_local_clock(),     platform::system_file_signatures(),
            platform::system_running_processes()};
}

void run_checks(spdlog::logger& log, const platform_services& platform, handoff::publisher publish) {
    write_banner(log);

    checks::run_status status;
    reports::object_interfaces object;
    auto addin = activate_holding_hosting_layer(log, platform, status);
    publish.step(handoff::run_step::writing_reports);
    // Read once, after the activation has had its say, for both reports.
    const reports::addin_registration registration =
        reports::read_addin_registration(platform.registry, platform.context, platform.files);
    if (addin) {
        publish.step(handoff::run_step::listing_modules);
        log.info("Successfully created Pexlo PowerPoint Addin object.");
        log.info("");
        object = addin->connect_interfaces();

        checks::list_process_modules(log, platform.process);

        publish.step(handoff::run_step::listing_assemblies);
        log.info("");
        log.info("Listing .NET assemblies loaded by Pexlo add-in:");
        checks::list_managed_runtimes(log, platform.clr, status);

        addin->tear_down();
        publish.step(handoff::run_step::writing_reports);
    } else {
        reports::report_registration(log, registration);
        reports::report_server_dependencies(log, platform.registry, platform.context, platform.files, platform.process,
                                            registration.used(platform::this_edition_view()));
    }
    // Whether PowerPoint itself would load the add-in: what the customer
    // sees, whichever way the activation went.
    const reports::addin_identity found =
        reports::report_powerpoint_view(log, platform.registry, platform.context, platform.files, platform.signatures,
                                        platform.processes, registration, object);
    // What PowerPoint's own crashes say of the add-in: its start-up, ribbon
    // and event handlers run there, never in this process.
    const reports::crash_report_places places{platform.context.environment_variable(L"ProgramData"),
                                              platform.context.environment_variable(L"LOCALAPPDATA")};
    reports::report_powerpoint_crash_reports(log, places, found, platform.folders, platform.files, platform.clock);

    write_verdict(log, status, publish);
}

}  // namespace kestrum::app
