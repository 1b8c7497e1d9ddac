#include "app/roles.h"

#include "app/check_driver.h"
#include "crash/crash_report.h"
#include "logging/log_location.h"
#include "logging/run_logger.h"
#include "platform/error_mode.h"
#include "platform/system_error.h"

#include <optional>
#include <string>

namespace kestrum::app {
namespace {

int run_here(logging::run_log& log) {
    platform::keep_error_boxes_away();
    const crash::crash_report_guard crash_report(*log.logger, log.file.get(), log.output.get(), log.publish);
    run_checks(*log.logger, system_platform_services(), log.publish);
    return 0;
}

int run_here_on(platform::unique_handle file) {
    // Named now, said after the run: the file goes with the last logger.
    const std::string log_location = logging::log_location_line(file.get());
    logging::run_log log = logging::open_run_log_on(std::move(file));
    const int status = run_here(log);
    logging::write_log_location(log_location);
    return status;
}

std::optional<logging::claimed_log_file> claim_or_say(std::chrono::system_clock::time_point started) {
    logging::claimed_log_file claim = logging::claim_run_log_file(started);
    if (!claim.file) {
        platform::write_error_line(claim.failure);
        return std::nullopt;
    }
    return claim;
}

}  // namespace

int run_as_worker(watch::handed_over_log& handed, logging::log_writer write) {
    logging::run_log log = logging::open_run_log_on(std::move(handed.file), handoff::publisher(handed.progress), write);
    return run_here(log);
}

int run_as_watcher(std::chrono::system_clock::time_point started, const watch::watch_limits& limits) {
    std::optional<logging::claimed_log_file> claim = claim_or_say(started);
    if (!claim) {
        return 1;
    }
    // The worker is started before anything else here is set up: the run
    // waits for nothing of the watcher's.
    const std::optional<watch::watch_outcome> watched = watch::run_watched_worker(claim->file.get(), limits);
    if (!watched) {
        return run_here_on(std::move(claim->file));
    }
    const std::string log_location = logging::log_location_line(claim->file.get());
    // The logger is made only when there is something to add to the worker's
    // records: a normal run costs the watcher nothing more.
    if (!watched->records.empty()) {
        const logging::run_log log = logging::open_run_log_on(std::move(claim->file));
        for (const watch::watcher_record& record : watched->records) {
            if (record.error) {
                log.logger->error(record.text);
            } else {
                log.logger->info(record.text);
            }
        }
    }
    logging::write_log_location(log_location);
    return static_cast<int>(watched->exit_status);
}

int run_alone(std::chrono::system_clock::time_point started) {
    std::optional<logging::claimed_log_file> claim = claim_or_say(started);
    return claim ? run_here_on(std::move(claim->file)) : 1;
}

}  // namespace kestrum::app
