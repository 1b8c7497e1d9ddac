#pragma once

#include "platform/process_modules.h"

namespace spdlog {
class logger;
}

namespace kestrum::checks {

// Writes the full path of every module loaded in this process, in the order
// the platform lists them. Reports only through the log.
void list_process_modules(spdlog::logger& log, platform::process_modules& process);

}  // namespace kestrum::checks
