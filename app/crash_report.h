#pragma once

namespace spdlog {
class logger;
}

namespace kestrum::app {

// From here until the guard ends, a crash of the process (most likely inside
// the add-in) is written to |log| as one record naming the exception, its
// address and module, followed by the error verdict; then the process ends
// with the exception code as its exit status.
class crash_report_guard {
public:
    explicit crash_report_guard(spdlog::logger& log);
    ~crash_report_guard();
    crash_report_guard(const crash_report_guard&) = delete;
    crash_report_guard& operator=(const crash_report_guard&) = delete;
};

}  // namespace kestrum::app
