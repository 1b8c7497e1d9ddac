#pragma once

// A function looked up by name in a library at run time: one the import
// libraries do not name, or one whose library only the worker should load.

#include <windows.h>

namespace kestrum::platform {

// |name| in |library| as a |Function|; none when either is missing.
template <typename Function>
Function function_of(HMODULE library, const char* name) noexcept {
    return library == nullptr ? nullptr
                              : reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

}  // namespace kestrum::platform
