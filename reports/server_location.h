#pragma once

// Where the loader finds a DLL that a registration of one registry view names,
// as this process can look for it.

#include "reports/addin_registration.h"
#include "platform/file_facts.h"
#include "platform/process_context.h"

#include <string>

namespace kestrum::reports {

// |path| (its quotes dropped, expanded) as a program of |view|'s bitness
// loads it: a full path in that view's system folder where it names
// System32; a bare or relative name searched for in the loader's order.
located_file locate_server_file(platform::process_context& context, platform::file_facts& files,
                                const std::wstring& path, platform::registry_view view);

}  // namespace kestrum::reports
