// Pexlo Kestrum: checks that the Pexlo PowerPoint add-in can be created in
// this process and records what it brought in. Takes no input of any kind.

#include "app/check_driver.h"
#include "crash/crash_report.h"
#include "watch/watcher.h"
#include "watch/worker_handoff.h"
#include "logging/run_logger.h"
#include "platform/error_mode.h"
#include "platform/system_error.h"

#include <chrono>
#include <optional>
#include <string>

namespace {

// A worker writes a record at least every few seconds even on a slow machine;
// two minutes of silence is a hang. Tests build with a limit of seconds.
#if defined(KESTRUM_PROGRESS_LIMIT_SECONDS)
constexpr DWORD progress_limit_seconds = KESTRUM_PROGRESS_LIMIT_SECONDS;
#else
constexpr DWORD progress_limit_seconds = 120;
#endif

// How long a worker that has written its verdict may take to end: its exit
// can only hang on a lock that a thread killed at exit still holds.
constexpr DWORD after_verdict_ms = 5000;
constexpr DWORD milliseconds_per_second = 1000;
constexpr kestrum::watch::watch_limits limits{progress_limit_seconds * milliseconds_per_second, after_verdict_ms};

int run_here(kestrum::logging::run_log& log) {
    kestrum::platform::keep_error_boxes_away();
    const kestrum::crash::crash_report_guard crash_report(*log.logger, log.file.get(), log.output.get());
    kestrum::app::run_checks(*log.logger, kestrum::app::system_platform_services());
    return 0;
}

}  // namespace

int main() {
    const auto started = std::chrono::system_clock::now();

    std::optional<kestrum::platform::unique_handle> handed = kestrum::watch::log_file_handed_to_this_process();
    if (handed && *handed) {
        kestrum::logging::run_log log = kestrum::logging::open_run_log_on(std::move(*handed));
        return run_here(log);
    }

    kestrum::logging::claimed_log_file claim = kestrum::logging::claim_run_log_file(started);
    if (!claim.file) {
        kestrum::platform::write_error_line(claim.failure);
        return 1;
    }
    // The worker is started before anything else here is set up: the run
    // waits for nothing of the watcher's. A worker whose handover failed runs
    // the checks itself rather than start a worker of its own.
    std::optional<kestrum::watch::watch_outcome> watched;
    if (!handed) {
        watched = kestrum::watch::run_watched_worker(claim.file.get(), limits);
    }
    if (!watched) {
        kestrum::logging::run_log log = kestrum::logging::open_run_log_on(std::move(claim.file));
        return run_here(log);
    }
    // The logger is made only when there is something to add to the worker's
    // records: a normal run costs the watcher nothing more.
    if (!watched->error_records.empty()) {
        const kestrum::logging::run_log log = kestrum::logging::open_run_log_on(std::move(claim.file));
        for (const std::string& record : watched->error_records) {
            log.logger->error(record);
        }
    }
    return static_cast<int>(watched->exit_status);
}
