#pragma once

// Where the loader finds a library that a server loaded by its full path
// (LOAD_WITH_ALTERED_SEARCH_PATH) imports by name: a module of that name
// already in the process, the KnownDLLs, the server's own folder, the system
// folder, the Windows folder, the working folder, then each folder of PATH.
// Only looks: nothing is loaded.

#include "platform/file_facts.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrum::reports {

struct search_places {
    std::vector<std::wstring> loaded_modules;  // paths of the modules in this process
    std::vector<std::wstring> known_dlls;      // the file names KnownDLLs lists
    std::wstring server_folder;
    std::wstring system_folder;  // of this edition's bitness
    std::wstring windows_folder;
    std::wstring working_folder;
    std::wstring path;  // the PATH variable as it is
};

enum class found_as { loaded, known, file, nowhere };

struct found_library {
    found_as how = found_as::nowhere;
    std::wstring path;  // with how loaded, known or file
    bool in_server_folder = false;
};

// "api-ms-win-..." and "ext-ms-win-...": API sets, which Windows resolves
// itself and no folder holds.
bool is_api_set(std::wstring_view name);

found_library find_library(platform::file_facts& files, const search_places& places, std::wstring_view name);

// The folders searched, in order, each once, none empty.
std::vector<std::wstring> searched_folders(const search_places& places);

}  // namespace kestrum::reports
