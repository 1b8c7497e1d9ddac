#pragma once

// Listing the folders inside a folder, bounded, behind an interface so that
// tests can stand in for the file system.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace kestrum::platform {

struct folder_names {
    std::vector<std::wstring> names;  // in the order the file system lists them
    bool more = false;                // the limit was reached with more names to come
    // Why nothing was listed: ERROR_FILE_NOT_FOUND when nothing matches,
    // ERROR_PATH_NOT_FOUND when |folder| is not there, others when it cannot be read.
    DWORD error = ERROR_SUCCESS;
};

class folder_listing {
public:
    virtual ~folder_listing() = default;

    // FindFirstFileExW(folder\pattern, FindExInfoBasic, ..., FindExSearchLimitToDirectories)
    // and FindNextFileW: the names of the folders that match |pattern| (the
    // file system's wildcards, case-blind), at most |limit| names looked at.
    virtual folder_names subfolders(const std::wstring& folder, const wchar_t* pattern, std::size_t limit) = 0;
};

// The real calls of kernel32.
folder_listing& system_folder_listing();

}  // namespace kestrum::platform
