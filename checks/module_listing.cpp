#include "checks/module_listing.h"

#include "platform/module_name.h"

#include <spdlog/logger.h>

#include <string>
#include <vector>

namespace kestrum::checks {
namespace {

constexpr std::size_t initial_module_capacity = 1024;
// Modules may load or unload between two enumerations; a few rounds settle it.
constexpr int enumeration_rounds = 4;

DWORD size_in_bytes(const std::vector<HMODULE>& modules) {
    return static_cast<DWORD>(modules.size() * sizeof(HMODULE));
}

// Fills |modules| with every module handle, growing the table when the
// platform needs more room than it has. Returns false when enumeration fails.
bool enumerate_modules(platform::process_modules& process, HANDLE self, std::vector<HMODULE>& modules) {
    modules.assign(initial_module_capacity, nullptr);
    for (int round = 0; round < enumeration_rounds; ++round) {
        DWORD needed_bytes = 0;
        if (!process.enumerate_all_modules(self, modules.data(), size_in_bytes(modules), &needed_bytes)) {
            return false;
        }
        const std::size_t count = needed_bytes / sizeof(HMODULE);
        if (count <= modules.size()) {
            modules.resize(count);
            return true;
        }
        modules.assign(count, nullptr);
    }
    // Still growing after every round: list what the last table holds.
    return true;
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
        const std::wstring path = platform::read_whole_module_name(
            [&](wchar_t* name, DWORD capacity) { return process.module_file_name(self, module, name, capacity); });
        if (!path.empty()) {
            log.info(L"  {}", path);
        }
    }
}

}  // namespace kestrum::checks
