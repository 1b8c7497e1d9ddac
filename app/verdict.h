#pragma once

#include "checks/run_status.h"

#include <cstdint>

namespace spdlog {
class logger;
}

namespace kestrum::app {

// The run's last record: "Done." when nothing failed, the error otherwise.
void write_verdict(spdlog::logger& log, const checks::run_status& status);

void write_error_verdict(spdlog::logger& log, std::uint32_t code);

}  // namespace kestrum::app
