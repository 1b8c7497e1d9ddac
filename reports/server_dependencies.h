#pragma once

#include "reports/addin_registration.h"
#include "platform/file_facts.h"
#include "platform/process_context.h"
#include "platform/process_modules.h"
#include "platform/registry.h"

#include <optional>

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Writes, after a failed activation whose registration names a server file
// that exists, what loading that server needs and is missing: the libraries
// it imports, found as the loader looks for them in the folders |context|
// names, or not found; files of the wrong bitness; the Visual C++ runtime;
// for a .NET add-in the Frameworks installed; and files marked as
// downloaded. |server| is the class COM uses in this edition's view
// (addin_registration::used). Reads files and the registry only, never
// loads or runs anything, and never touches the run status.
void report_server_dependencies(spdlog::logger& log, platform::registry& registry, platform::process_context& context,
                                platform::file_facts& files, platform::process_modules& modules,
                                const std::optional<used_class>& server);

}  // namespace kestrum::reports
