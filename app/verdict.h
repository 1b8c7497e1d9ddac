#pragma once

#include "checks/run_status.h"

namespace spdlog {
class logger;
}

namespace kestrum::app {

// Also written by the crash report, which formats it without the logger.
inline constexpr char error_verdict_format[] = "An error occurred. HRESULT=0x{:08X}";

// The run's last record: "Done." when nothing failed, the error otherwise.
void write_verdict(spdlog::logger& log, const checks::run_status& status);

}  // namespace kestrum::app
