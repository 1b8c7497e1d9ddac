#pragma once

#include "handoff/publisher.h"

#include <windows.h>

namespace kestrum::logging {
class gated_logger;
}  // namespace kestrum::logging

namespace kestrum::crash {

// From here until the guard ends, a crash of the process (most likely inside
// the add-in) is written as one record naming what happened, its address and
// module, followed by the error verdict, as the last two records on the
// console and in the log file; then the process ends with the exception code
// as its exit status. Everything the report needs is prepared here, while the
// process is healthy: the crash path itself only formats into fixed storage
// and writes once to each of the handles taken now: the log file and the
// run's own copy of standard output, which the add-in cannot close. In the
// worker, the two records and their verdict are published through |publish|.
// A crash after the run's verdict was given adds one record saying so, and no
// second verdict: the verdict stays the run's.
class crash_report_guard {
public:
    crash_report_guard(logging::gated_logger& log, HANDLE log_file, HANDLE output,
                       handoff::publisher publish = {}) noexcept;
    ~crash_report_guard();
    crash_report_guard(const crash_report_guard&) = delete;
    crash_report_guard& operator=(const crash_report_guard&) = delete;
};

}  // namespace kestrum::crash
