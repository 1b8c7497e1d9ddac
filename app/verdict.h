#pragma once

#include "checks/run_status.h"
#include "handoff/publisher.h"

namespace spdlog {
class logger;
}

namespace kestrum::app {

// The run's last record: "Done." when nothing failed, the error otherwise,
// published as the verdict as it is written.
void write_verdict(spdlog::logger& log, const checks::run_status& status, handoff::publisher publish = {});

}  // namespace kestrum::app
