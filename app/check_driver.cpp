#include "app/check_driver.h"

#include "app/verdict.h"
#include "checks/addin_activation.h"
#include "checks/module_listing.h"
#include "checks/run_status.h"
#include "checks/runtime_listing.h"

#include <spdlog/logger.h>

namespace kestrum::app {
namespace {

void write_banner(spdlog::logger& log) {
    log.info("Pexlo Kestrum v1");
    log.info("Copyright (c) Pexlo. All rights reserved.");
    log.info("");
}

}  // namespace

platform_services system_platform_services() {
    return {platform::system_com_runtime(), platform::system_process_modules(), platform::system_clr_hosting()};
}

void run_checks(spdlog::logger& log, const platform_services& platform) {
    write_banner(log);

    checks::run_status status;
    if (auto addin = checks::activate_addin(log, platform.com, status)) {
        log.info("Successfully created Pexlo PowerPoint Addin object.");
        log.info("");

        checks::list_process_modules(log, platform.process);

        log.info("");
        log.info("Listing .NET assemblies loaded by Pexlo add-in:");
        checks::list_managed_runtimes(log, platform.clr, status);

        addin->tear_down();
    }

    write_verdict(log, status);
}

}  // namespace kestrum::app
