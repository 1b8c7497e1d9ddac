// Pexlo Kestrum: checks that the Pexlo PowerPoint add-in can be created in
// this process and records what it brought in. Takes no input of any kind.

#include "app/check_driver.h"
#include "crash/crash_report.h"
#include "logging/run_logger.h"
#include "platform/system_error.h"

#include <chrono>

int main() {
    const auto started = std::chrono::system_clock::now();

    kestrum::logging::run_log log = kestrum::logging::open_run_log(started);
    if (!log.logger) {
        kestrum::platform::write_error_line(log.failure);
        return 1;
    }

    const kestrum::crash::crash_report_guard crash_report(*log.logger, log.file.get());
    kestrum::app::run_checks(*log.logger, kestrum::app::system_platform_services());
    return 0;
}
