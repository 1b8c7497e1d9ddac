#pragma once

// The process status calls the module listing makes, behind an interface so
// that tests can stand in for them.

#include <windows.h>

namespace kestrum::platform {

class process_modules {
public:
    virtual ~process_modules() = default;

    // GetCurrentProcess()
    virtual HANDLE current_process() = 0;
    // K32EnumProcessModulesEx(process, modules, size_bytes, needed_bytes, LIST_MODULES_ALL)
    virtual BOOL enumerate_all_modules(HANDLE process, HMODULE* modules, DWORD size_bytes, DWORD* needed_bytes) = 0;
    // K32GetModuleFileNameExW(process, module, name, size_chars)
    virtual DWORD module_file_name(HANDLE process, HMODULE module, wchar_t* name, DWORD size_chars) = 0;
};

// The real calls of kernel32.
process_modules& system_process_modules();

}  // namespace kestrum::platform
