#pragma once

#include <windows.h>

#include <string>

namespace kestrum::platform {

// Where a fatal exception happened: its code, the instruction address and
// the file of the module that address lies in (empty when none does).
struct crash_details {
    DWORD code = 0;
    const void* address = nullptr;
    std::wstring module_path;
};

// Called once when the process is about to die; it must not return.
using crash_handler = void (*)(const crash_details& crash);

// Hooks the two ways an add-in can take the process down: a structured
// exception nobody handles (an access violation, say), and a C++ exception
// nobody catches, which ends in abort() after the runtime gives up on it.
// For the latter, the address reported is the first frame of the throw that
// lies outside the Windows system directory, i.e. in the code that threw.
void install_crash_hooks(crash_handler handler);

}  // namespace kestrum::platform
