#pragma once

// The process status calls the module listing makes, behind an interface so
// that tests can stand in for them.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrum::platform {

class process_modules {
public:
    virtual ~process_modules() = default;

    // GetCurrentProcess()
    virtual HANDLE current_process() = 0;
    // K32EnumProcessModulesEx(process, modules, size_bytes, needed_bytes, LIST_MODULES_ALL)
    virtual BOOL enumerate_all_modules(HANDLE process, HMODULE* modules, DWORD size_bytes, DWORD* needed_bytes) = 0;
    // GetModuleFileNameW(module, name, size_chars) for the current process,
    // K32GetModuleFileNameExW(process, module, name, size_chars) for another.
    // The latter reads the loader's list without its lock, so in our own
    // process it could read an entry that an add-in's thread is tearing down
    // and return garbage; the former holds the lock and fails cleanly (0) for
    // a module already gone. Both cut a name that does not fit.
    virtual DWORD module_file_name(HANDLE process, HMODULE module, wchar_t* name, DWORD size_chars) = 0;
};

// The full path of every module loaded in this process, in the order the
// platform lists them, leaving out those whose name cannot be read; none when
// enumeration fails. Enumeration can fail while a module loads or unloads,
// so a failure is tried again, and a table too small is grown for a few
// rounds, up to more modules than any process holds.
std::optional<std::vector<std::wstring>> loaded_module_paths(process_modules& process);

// The real calls of kernel32.
process_modules& system_process_modules();

}  // namespace kestrum::platform
