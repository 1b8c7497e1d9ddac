#include "platform/process_modules.h"

#include <psapi.h>

namespace kestrum::platform {
namespace {

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

process_modules& system_process_modules() {
    static kernel32_process_modules modules;
    return modules;
}

}  // namespace kestrum::platform
