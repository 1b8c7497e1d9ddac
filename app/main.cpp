// Pexlo Kestrum: checks that the Pexlo PowerPoint add-in can be created in
// this process and records what it brought in. Takes no input of any kind.

#include "app/check_driver.h"
#include "crash/crash_report.h"
#include "watch/watcher.h"
#include "watch/worker_handoff.h"
#include "logging/log_location.h"
#include "logging/run_logger.h"
#include "platform/error_mode.h"
#include "platform/system_error.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

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
// A worker that writes nothing but keeps its CPU or disk busy is given ten
// minutes (first starts, network time-outs), five times the limit; standard
// error hears of it every minute, half the limit.
constexpr DWORD progress_limit_ms = progress_limit_seconds * milliseconds_per_second;
constexpr DWORD working_allowance_limits = 5;
constexpr DWORD working_notes_per_limit = 2;
constexpr DWORD working_allowance_ms = working_allowance_limits * progress_limit_ms;
constexpr DWORD working_note_ms = progress_limit_ms / working_notes_per_limit;
constexpr kestrum::watch::watch_limits limits{progress_limit_ms, after_verdict_ms, working_allowance_ms,
                                              working_note_ms};

#if defined(KESTRUM_LOG_FAILS_AFTER_RECORDS)
// A full disk, for tests: every write to the log after the first few fails
// as a write to a full volume does.
bool write_until_full(HANDLE file, std::string_view bytes, DWORD& error) {
    static int records = 0;
    if (++records > KESTRUM_LOG_FAILS_AFTER_RECORDS) {
        error = ERROR_DISK_FULL;
        return false;
    }
    return kestrum::logging::write_whole(file, bytes, error);
}
constexpr kestrum::logging::log_writer worker_log_writer = write_until_full;
#else
constexpr kestrum::logging::log_writer worker_log_writer = kestrum::logging::write_whole;
#endif

int run_here(kestrum::logging::run_log& log) {
    kestrum::platform::keep_error_boxes_away();
    const kestrum::crash::crash_report_guard crash_report(*log.logger, log.file.get(), log.output.get(), log.progress);
    kestrum::app::run_checks(*log.logger, kestrum::app::system_platform_services());
    return 0;
}

}  // namespace

int main() {
    const auto started = std::chrono::system_clock::now();

    // The section stays mapped for the whole run: the worker publishes there.
    std::optional<kestrum::watch::handed_over_log> handed = kestrum::watch::log_file_handed_to_this_process();
    if (handed && handed->file) {
        kestrum::logging::run_log log =
            kestrum::logging::open_run_log_on(std::move(handed->file), handed->progress, worker_log_writer);
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
    // Named now, said after the run: the file goes with the last logger.
    const std::string log_location = kestrum::logging::log_location_line(claim.file.get());
    if (!watched) {
        kestrum::logging::run_log log = kestrum::logging::open_run_log_on(std::move(claim.file));
        const int status = run_here(log);
        kestrum::logging::write_log_location(log_location);
        return status;
    }
    // The logger is made only when there is something to add to the worker's
    // records: a normal run costs the watcher nothing more.
    if (!watched->records.empty()) {
        const kestrum::logging::run_log log = kestrum::logging::open_run_log_on(std::move(claim.file));
        for (const kestrum::watch::watcher_record& record : watched->records) {
            if (record.error) {
                log.logger->error(record.text);
            } else {
                log.logger->info(record.text);
            }
        }
    }
    kestrum::logging::write_log_location(log_location);
    return static_cast<int>(watched->exit_status);
}
