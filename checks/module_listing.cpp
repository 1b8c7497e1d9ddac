#include "checks/module_listing.h"

#include <spdlog/logger.h>

#include <string>
#include <string_view>
#include <vector>

namespace kestrum::checks {
namespace {

constexpr std::size_t initial_module_capacity = 1024;
constexpr DWORD initial_name_capacity = MAX_PATH;
// The longest path Windows can name, plus its terminator.
constexpr DWORD longest_name_capacity = 32768;
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

// The module's full path, or an empty string when it cannot be read. A name
// that fills the buffer may have been cut short, so it is read again into a
// larger buffer until it fits.
std::wstring module_path(platform::process_modules& process, HANDLE self, HMODULE module) {
    std::wstring name;
    for (DWORD capacity = initial_name_capacity;; capacity *= 2) {
        if (capacity > longest_name_capacity) {
            capacity = longest_name_capacity;
        }
        name.assign(capacity, L'\0');
        const DWORD length = process.module_file_name(self, module, name.data(), capacity);
        if (length == 0) {
            return {};
        }
        if (length < capacity - 1 || capacity == longest_name_capacity) {
            name.resize(length < capacity ? length : capacity);
            return name;
        }
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
        const std::wstring path = module_path(process, self, module);
        if (!path.empty()) {
            log.info(L"  {}", path);
        }
    }
}

}  // namespace kestrum::checks
