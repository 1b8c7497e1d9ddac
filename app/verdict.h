#pragma once

#include "checks/run_status.h"

namespace spdlog {
class logger;
}

namespace kestrum::app {

// The run's last record: "Done." when nothing failed, the error otherwise.
void write_verdict(spdlog::logger& log, const checks::run_status& status);

}  // namespace kestrum::app
