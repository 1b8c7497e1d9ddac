#pragma once

#include "platform/file_facts.h"
#include "platform/process_modules.h"
#include "platform/registry.h"

#include <string>

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// What the section reads about the add-in's registration and this process.
struct server_dependency_inputs {
    std::wstring server_path;      // the server file as COM's loader finds it
    bool managed = false;          // the server is the .NET hosting layer (mscoree.dll)
    std::wstring runtime_version;  // with managed: RuntimeVersion as registered
    std::wstring code_base_path;   // with managed: the file CodeBase names
    std::wstring system_folder;    // of this edition's bitness
    std::wstring windows_folder;
    std::wstring working_folder;
    std::wstring path_variable;
};

// Writes, after a failed activation whose registration names a server file
// that exists, what loading that server needs and is missing: the libraries
// it imports, found as the loader looks for them, or not found; files of the
// wrong bitness; the Visual C++ runtime; for a .NET add-in the Frameworks
// installed; and files marked as downloaded. Reads files and the registry
// only, never loads or runs anything, and never touches the run status.
void report_server_dependencies(spdlog::logger& log, platform::registry& registry, platform::file_facts& files,
                                platform::process_modules& modules, const server_dependency_inputs& inputs);

}  // namespace kestrum::reports
