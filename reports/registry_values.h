#pragma once

// Numbers and binary values from the registry, read without trusting them,
// and every kind of value named as the records name it: "missing",
// "not text but REG_DWORD", "cannot be read (error 5)".

#include "reports/registry_text.h"
#include "platform/registry.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kestrum::reports {

enum class number_state { number, missing, not_number, unreadable };

struct registry_number {
    number_state state = number_state::missing;
    DWORD number = 0;               // with state number
    DWORD type = REG_NONE;          // with state not_number: the type found
    LSTATUS error = ERROR_SUCCESS;  // with state unreadable
};

// The REG_DWORD value |name| of root\subkey in |view|.
registry_number read_registry_number(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                     platform::registry_view view, const wchar_t* name);

// One value of a key as RegEnumValueW hands it over.
struct enumerated_value {
    LSTATUS status = ERROR_SUCCESS;  // ERROR_NO_MORE_ITEMS past the last value
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    DWORD size = 0;  // the value's size, also when it was too large to be read
};

// No value read whole is larger than this; a larger one is named by its size.
inline constexpr DWORD max_binary_value_bytes = 256 * 1024;

// The value at |index| of root\subkey in |view|.
enumerated_value read_enumerated_value(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                       platform::registry_view view, DWORD index);

// A number, or why it is not one: "missing", "not a number but REG_SZ", ...
std::wstring describe_registry_number(const registry_number& value);

}  // namespace kestrum::reports
