#pragma once

// What the watcher reads in the log file the worker writes: whether the run
// got as far as its verdict, and if not, which step it was in.

#include "handoff/reader.h"

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

using handoff::published_progress;

// The step the worker published it was in, as the watcher names it.
std::string_view step_of_run(const published_progress& published);

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
    bool cut_log_back = false;            // a failed write left part of a record: cut the log to the worker's bytes
    bool ended_before_verdict = false;    // then the records saying so, with this verdict
    DWORD verdict_code = 0;
};

// How a worker that ended with |exit_code| ended, from what it published and
// the log it left, |log_size| long and ending as |ending| says.
run_ending_decision decide_run_ending(const published_progress& published, std::uint64_t log_size,
                                      const log_ending& ending, DWORD exit_code);

}  // namespace kestrum::watch
