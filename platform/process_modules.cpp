#include "platform/process_modules.h"

#include "platform/grown_buffer.h"
#include "platform/module_name.h"

#include <psapi.h>

#include <algorithm>
#include <cstddef>
#include <utility>

namespace kestrum::platform {
namespace {

constexpr std::size_t initial_module_capacity = 1024;
// More modules than any process holds: a count past it is not believed.
constexpr std::size_t most_modules = 65536;

// Enumeration can fail while a module loads or unloads: a failure is tried
// again, and only the last of these attempts counts as the listing's failure.
constexpr int enumeration_attempts = 3;

bool enumerate_into(process_modules& process, HANDLE self, std::vector<HMODULE>& modules, DWORD& needed_bytes) {
    const auto size_bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
    for (int attempt = 1; attempt <= enumeration_attempts; ++attempt) {
        if (process.enumerate_all_modules(self, modules.data(), size_bytes, &needed_bytes)) {
            return true;
        }
    }
    return false;
}

// Every module handle the platform returned, the table grown when it needs
// more room than it has; none when enumeration fails.
std::optional<std::vector<HMODULE>> enumerate_modules(process_modules& process, HANDLE self) {
    std::vector<HMODULE> modules(initial_module_capacity, nullptr);
    // Modules may load or unload between two enumerations.
    for (int round = 1;; ++round) {
        DWORD needed_bytes = 0;
        if (!enumerate_into(process, self, modules, needed_bytes)) {
            return std::nullopt;
        }
        const std::size_t count = needed_bytes / sizeof(HMODULE);
        if (count <= modules.size() || round == read_rounds || modules.size() == most_modules) {
            // Still growing after every round: list what this last round
            // wrote, which fills the whole table.
            modules.resize(std::min(count, modules.size()));
            return modules;
        }
        modules.assign(std::min(count, most_modules), nullptr);
    }
}

class kernel32_process_modules final : public process_modules {
public:
    HANDLE current_process() override { return ::GetCurrentProcess(); }

    BOOL enumerate_all_modules(HANDLE process, HMODULE* modules, DWORD size_bytes, DWORD* needed_bytes) override {
        return ::K32EnumProcessModulesEx(process, modules, size_bytes, needed_bytes, LIST_MODULES_ALL);
    }

    DWORD module_file_name(HANDLE process, HMODULE module, wchar_t* name, DWORD size_chars) override {
        if (process == ::GetCurrentProcess()) {
            return ::GetModuleFileNameW(module, name, size_chars);
        }
        return ::K32GetModuleFileNameExW(process, module, name, size_chars);
    }
};

}  // namespace

std::optional<std::vector<std::wstring>> loaded_module_paths(process_modules& process) {
    const HANDLE self = process.current_process();
    const std::optional<std::vector<HMODULE>> modules = enumerate_modules(process, self);
    if (!modules) {
        return std::nullopt;
    }
    std::vector<std::wstring> paths;
    paths.reserve(modules->size());
    for (const HMODULE module : *modules) {
        if (module == nullptr) {
            continue;  // a null handle would name this program itself
        }
        std::wstring path = read_whole_module_name(
            [&](wchar_t* name, DWORD capacity) { return process.module_file_name(self, module, name, capacity); });
        if (!path.empty()) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

process_modules& system_process_modules() {
    static kernel32_process_modules modules;
    return modules;
}

}  // namespace kestrum::platform
