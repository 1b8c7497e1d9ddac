#pragma once

// The runtimes an add-in's server may need, as their installers register
// them: the Visual C++ 2015-2022 runtime and the .NET Framework, each read
// in this edition's registry view.

#include "platform/registry.h"

#include <string>
#include <string_view>

namespace kestrum::reports {

// Whether |name| is a library of the Visual C++ 2015-2022 runtime
// (vcruntime140.dll, msvcp140_1.dll, concrt140.dll, ...).
bool is_visual_cpp_runtime(std::wstring_view name);

// The runtime's Version when it is installed for this edition's bitness,
// "not installed" otherwise.
std::wstring visual_cpp_runtime(platform::registry& registry);

// "4.8 (release 528040), 3.5", or "none found".
std::wstring dotnet_frameworks(platform::registry& registry);

// Whether the Framework a RuntimeVersion asks for is installed:
// "installed", "not installed", or "cannot tell" for a version not known here.
std::wstring_view dotnet_runtime_state(platform::registry& registry, std::wstring_view runtime_version);

}  // namespace kestrum::reports
