#pragma once

#include "checks/run_status.h"
#include "platform/clr_hosting.h"

namespace spdlog {
class logger;
}

namespace kestrum::checks {

// Writes each .NET Framework runtime loaded in this process, its version and
// every assembly in its default application domain.
void list_managed_runtimes(spdlog::logger& log, platform::clr_hosting& hosting, run_status& status);

}  // namespace kestrum::checks
