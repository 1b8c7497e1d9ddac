#include "checks/module_listing.h"

#include "logging/platform_text.h"

#include <spdlog/logger.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrum::checks {

void list_process_modules(spdlog::logger& log, platform::process_modules& process) {
    log.info("Listing all modules in process:");

    const std::optional<std::vector<std::wstring>> paths = platform::loaded_module_paths(process);
    if (!paths) {
        log.error("Failed to enumerate process modules.");
        return;
    }
    for (const std::wstring& path : *paths) {
        log.info(logging::escaped_message("  ", path).view());
    }
}

}  // namespace kestrum::checks
