#pragma once

#include "checks/run_status.h"
#include "platform/com_owners.h"

namespace spdlog {
class logger;
}

namespace kestrum::checks {

// Writes the full name and location of every assembly in |assemblies|, the
// array a default application domain returned, then destroys the array.
void list_assemblies(spdlog::logger& log, platform::unique_safearray& assemblies, run_status& status);

}  // namespace kestrum::checks
