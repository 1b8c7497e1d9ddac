#pragma once

// The registry reads the reports make, behind an interface so that tests can
// stand in for them. Every call only reads: keys are opened with KEY_READ,
// nothing is loaded and nothing is written.

#include "platform/registry_view.h"

#include <windows.h>

namespace kestrum::platform {

class registry {
public:
    virtual ~registry() = default;

    // RegOpenKeyExW(root, subkey, 0, KEY_READ | the view's flag, ...), the key
    // closed again: ERROR_SUCCESS when the key is there to read.
    virtual LSTATUS probe_key(HKEY root, const wchar_t* subkey, registry_view view) = 0;
    // RegQueryValueExW on root\subkey opened as above; |name| null or empty
    // for the default value. With |data| null only the size is asked for.
    virtual LSTATUS query_value(HKEY root, const wchar_t* subkey, registry_view view, const wchar_t* name, DWORD* type,
                                BYTE* data, DWORD* size_bytes) = 0;
    // RegEnumValueW(root\subkey opened as above, index, ...): the value at
    // |index|, ERROR_NO_MORE_ITEMS past the last; |name_chars| in and out as
    // RegEnumValueW counts them, ERROR_MORE_DATA when either buffer is short.
    virtual LSTATUS enumerate_value(HKEY root, const wchar_t* subkey, registry_view view, DWORD index, wchar_t* name,
                                    DWORD* name_chars, DWORD* type, BYTE* data, DWORD* size_bytes) = 0;
};

// The real calls of advapi32.
registry& system_registry();

}  // namespace kestrum::platform
