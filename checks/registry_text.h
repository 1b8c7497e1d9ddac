#pragma once

// Reading a text value from the registry without trusting it: a value may be
// missing, of another type, unterminated or far longer than any path.

#include "platform/registry.h"

#include <windows.h>

#include <cstddef>
#include <string>

namespace kestrum::checks {

// No path or name the report reads is longer than the longest path Windows
// accepts; anything longer is reported as such rather than read.
inline constexpr std::size_t max_value_chars = 32767;

enum class value_state { text, missing, not_text, too_long, unreadable };

struct registry_text {
    value_state state = value_state::missing;
    std::wstring text;              // with state text: up to the first null character
    bool expandable = false;        // REG_EXPAND_SZ
    DWORD type = REG_NONE;          // with state not_text: the type found
    LSTATUS error = ERROR_SUCCESS;  // with state unreadable
};

// The value |name| (null: the default value) of root\subkey in |view|.
registry_text read_registry_text(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                 platform::registry_view view, const wchar_t* name);

// |text| with its environment variables replaced; empty when that fails.
std::wstring expand_environment(platform::registry& registry, const std::wstring& text);

}  // namespace kestrum::checks
