#pragma once

// Where PowerPoint is installed and what kind of program it is, found from
// the registry and read from its file's PE header and version resource. The
// file is never loaded as a program nor run.

#include "platform/file_facts.h"
#include "platform/process_context.h"
#include "platform/registry.h"

#include <windows.h>

#include <optional>
#include <string>

namespace kestrum::reports {

inline constexpr WORD machine_x86 = 0x014C;
inline constexpr WORD machine_x64 = 0x8664;
inline constexpr WORD machine_arm64 = 0xAA64;

struct powerpoint_install {
    std::wstring path;
    std::optional<WORD> machine;  // the PE header's Machine; none without a PE header
    std::optional<platform::file_version> version;
};

// The first PowerPoint file that exists of, in this order: App Paths'
// powerpnt.exe (64-bit view, then 32-bit), the InstallRoot of Office 16.0,
// 15.0 and 14.0 in either view, Click-to-Run's InstallationPath.
std::optional<powerpoint_install> find_powerpoint(platform::registry& registry, platform::process_context& context,
                                                  platform::file_facts& files);

// The Machine field of the file's PE header.
std::optional<WORD> pe_machine(platform::file_facts& files, const std::wstring& path);

// The registry view a program of |machine| reads: ARM64 programs load 64-bit
// add-ins. None for a machine kestrum does not know.
std::optional<platform::registry_view> view_of_machine(WORD machine);

}  // namespace kestrum::reports
