#pragma once

// What the watcher reads in the log file the worker writes: whether the run
// got as far as its verdict, and if not, which step it was in.

#include <windows.h>

#include <string_view>

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

}  // namespace kestrum::watch
