#pragma once

// What this process is run with: its environment, its folders, the system
// folder of each registry view as it can reach it, and its elevation. Behind
// an interface so that tests can stand in for them. Every call only reads.

#include "platform/registry_view.h"

#include <windows.h>

#include <string>

namespace kestrum::platform {

// The folders of this process that the loader searches for a DLL named
// without a full path, other than the system folder of a view.
enum class process_folder {
    program,      // the folder of this process's exe
    windows,      // GetWindowsDirectoryW
    working,      // GetCurrentDirectoryW
    system_named  // GetSystemDirectoryW: in a 32-bit process on 64-bit Windows
                  // "System32", which the file system sends to the 32-bit folder
};

class process_context {
public:
    virtual ~process_context() = default;

    // ExpandEnvironmentStringsW(source, expanded, size_chars)
    virtual DWORD expand_environment_strings(const wchar_t* source, wchar_t* expanded, DWORD size_chars) = 0;
    // GetEnvironmentVariableW(name): empty when it is not set.
    virtual std::wstring environment_variable(const wchar_t* name) = 0;
    // One of this process's folders, without a trailing backslash unless it
    // is a drive's root; empty when it cannot be read.
    virtual std::wstring folder(process_folder which) = 0;
    // The folder where this process finds the system files of programs of the
    // view's bitness; empty when there is none.
    virtual std::wstring system_folder(registry_view view) = 0;
    // Whether this process's token is elevated (GetTokenInformation with
    // TokenElevation); false also when that cannot be told.
    virtual bool process_is_elevated() = 0;
};

// The real calls of kernel32 and advapi32.
process_context& system_process_context();

}  // namespace kestrum::platform
