#pragma once

// Which programs run now, behind an interface so that tests can stand in
// for the process list.

#include <windows.h>

#include <optional>

namespace kestrum::platform {

class running_processes {
public:
    virtual ~running_processes() = default;

    // The id of the first process in the system's process list (the one
    // CreateToolhelp32Snapshot copies) whose executable name is |image_name|
    // (case ignored) and that runs in this process's session; none when
    // there is none or the list cannot be read.
    virtual std::optional<DWORD> find_in_this_session(const wchar_t* image_name) = 0;
};

// The real calls of kernel32.
running_processes& system_running_processes();

}  // namespace kestrum::platform
