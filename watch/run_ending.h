#pragma once

// What the watcher reads in the log file the worker writes: whether the run
// got as far as its verdict, and if not, which step it was in.

#include "logging/run_progress.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::watch {

struct log_ending {
    bool verdict_written = false;  // the last record is the run's verdict
    bool crash_reported = false;   // and the record before it a crash report
    DWORD verdict_code = 0;        // the code of an error verdict
    bool ends_mid_record = false;  // the file ends inside a record
};

// Reads the end of the log, |tail| being its last bytes (a few whole records).
log_ending read_log_ending(std::string_view tail);

// The step a run was in when its log, |log| in full, stopped growing.
std::string_view step_of_run(std::string_view log);

// What the worker published about the records it wrote, read once.
struct published_progress {
    std::uint32_t log_records = 0;
    std::uint32_t log_pending_bytes = 0;
    std::uint64_t log_bytes = 0;
    std::uint32_t verdict_record = 0;
    std::uint32_t verdict_code = 0;
    std::uint32_t verdict_status = 0;
    std::uint32_t log_failed_after = 0;
    std::uint32_t log_failed_error = 0;
    std::uint32_t console_record = 0;

    // The verdict's record was written, as far as the log sink knows.
    bool verdict_taken() const noexcept { return verdict_record != 0 && log_records >= verdict_record; }
};

published_progress read_published(const logging::run_progress& progress) noexcept;

// Whether the worker wrote its verdict, by its own account: also a verdict
// whose write a kill cut off from being counted, once its bytes are all in
// the log, |log_size| long, that ends as |ending| says.
bool worker_reached_verdict(const published_progress& published, std::uint64_t log_size, const log_ending& ending);

// A record of the watcher's own.
struct watcher_record {
    bool error = true;
    std::string text;

    bool operator==(const watcher_record&) const = default;
};

struct run_ending_decision {
    DWORD exit_status = 0;
    std::vector<watcher_record> records;  // to add to the log and the console first
    bool end_log_line = false;            // the log ends inside a record: end it before them
    bool ended_before_verdict = false;    // then the records saying so, with this verdict
    DWORD verdict_code = 0;
};

// How a worker that ended with |exit_code| ended, from what it published and
// the log it left, |log_size| long and ending as |ending| says.
run_ending_decision decide_run_ending(const published_progress& published, std::uint64_t log_size,
                                      const log_ending& ending, DWORD exit_code);

}  // namespace kestrum::watch
