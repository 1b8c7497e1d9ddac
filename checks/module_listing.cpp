#include "checks/module_listing.h"

#include "logging/platform_text.h"
#include "platform/grown_buffer.h"
#include "platform/module_name.h"

#include <spdlog/logger.h>

#include <string>
#include <vector>

namespace kestrum::checks {
namespace {

constexpr std::size_t initial_module_capacity = 1024;

// Enumeration can fail while a module loads or unloads: a failure is tried
// again, and only the last of these attempts counts as the listing's failure.
constexpr int enumeration_attempts = 3;

DWORD size_in_bytes(const std::vector<HMODULE>& modules) {
    return static_cast<DWORD>(modules.size() * sizeof(HMODULE));
}

bool enumerate_into(platform::process_modules& process, HANDLE self, std::vector<HMODULE>& modules,
                    DWORD& needed_bytes) {
    for (int attempt = 1; attempt <= enumeration_attempts; ++attempt) {
        if (process.enumerate_all_modules(self, modules.data(), size_in_bytes(modules), &needed_bytes)) {
            return true;
        }
    }
    return false;
}

// Fills |modules| with every module handle the platform returned, growing
// the table when it needs more room than it has. Returns false when
// enumeration fails.
bool enumerate_modules(platform::process_modules& process, HANDLE self, std::vector<HMODULE>& modules) {
    modules.assign(initial_module_capacity, nullptr);
    // Modules may load or unload between two enumerations.
    for (int round = 1;; ++round) {
        DWORD needed_bytes = 0;
        if (!enumerate_into(process, self, modules, needed_bytes)) {
            return false;
        }
        const std::size_t count = needed_bytes / sizeof(HMODULE);
        if (count <= modules.size() || round == platform::read_rounds) {
            // Still growing after every round: list what this last round
            // wrote, which fills the whole table.
            modules.resize(count < modules.size() ? count : modules.size());
            return true;
        }
        modules.assign(count, nullptr);
    }
}

}  // namespace

void list_process_modules(spdlog::logger& log, platform::process_modules& process) {
    log.info("Listing all modules in process:");

    const HANDLE self = process.current_process();
    std::vector<HMODULE> modules;
    if (!enumerate_modules(process, self, modules)) {
        log.error("Failed to enumerate process modules.");
        return;
    }

    for (HMODULE module : modules) {
        if (module == nullptr) {
            continue;  // a null handle would name this program itself
        }
        const std::wstring path = platform::read_whole_module_name(
            [&](wchar_t* name, DWORD capacity) { return process.module_file_name(self, module, name, capacity); });
        if (!path.empty()) {
            log.info(logging::escaped_message("  ", path).view());
        }
    }
}

}  // namespace kestrum::checks
