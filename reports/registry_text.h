#pragma once

// Reading a text value from the registry without trusting it: a value may be
// missing, of another type, unterminated, hold a null inside it, end in half
// a character or be far longer than any path.

#include "platform/process_context.h"
#include "platform/registry.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrum::reports {

// No path or name the report reads is longer than the longest path Windows
// accepts; anything longer is reported as such rather than read.
inline constexpr std::size_t max_value_chars = 32767;

enum class value_state { text, missing, not_text, too_long, unreadable };

struct registry_text {
    value_state state = value_state::missing;
    // With state text: every whole character stored, nulls inside it too;
    // one null at the end is the terminator, not part of the value.
    std::wstring text;
    bool expandable = false;        // REG_EXPAND_SZ
    bool odd_length = false;        // with state text: a last byte, half a character, left out of |text|
    DWORD type = REG_NONE;          // with state not_text: the type found
    LSTATUS error = ERROR_SUCCESS;  // with state unreadable

    // |text| as a reader of null-terminated text takes it: up to the first null.
    std::wstring_view up_to_null() const noexcept { return std::wstring_view(text).substr(0, text.find(L'\0')); }
};

// The value |name| (null: the default value) of root\subkey in |view|.
registry_text read_registry_text(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                 platform::registry_view view, const wchar_t* name);

// The value as a record shows it: the whole text escaped (a null as
// <U+0000>), with "(REG_EXPAND_SZ)" and "(odd length: the last byte is
// ignored)" where so; "empty", "missing", "not text but REG_DWORD" and so on
// when it is no usable text.
std::wstring describe_registry_text(const registry_text& value);

// "REG_DWORD", "REG_BINARY", ..., or "type 42".
std::wstring registry_type_name(DWORD type);

// |text| with its environment variables replaced; empty when that fails.
std::wstring expand_environment(platform::process_context& context, const std::wstring& text);

// The same for a value of |view|, as a program of that view's bitness
// expands it: %ProgramFiles% and %CommonProgramFiles% name the other
// bitness's folders when |view| is not this edition's.
std::wstring expand_environment(platform::process_context& context, const std::wstring& text,
                                platform::registry_view view);

}  // namespace kestrum::reports
