#pragma once

#include <windows.h>

#include <string>

namespace kestrum::platform {

// The longest path Windows can name, plus its terminator.
inline constexpr DWORD longest_name_capacity = 32768;

// Reads a module's file name through |read(buffer, capacity)|, which returns
// the characters written (0 on failure) and cuts a name that does not fit.
// A name that fills the buffer may have been cut, so it is read again into a
// larger buffer until it fits. Empty when the name cannot be read.
template <typename ReadName>
std::wstring read_whole_module_name(ReadName read) {
    std::wstring name;
    for (DWORD capacity = MAX_PATH;; capacity *= 2) {
        if (capacity > longest_name_capacity) {
            capacity = longest_name_capacity;
        }
        name.assign(capacity, L'\0');
        const DWORD length = read(name.data(), capacity);
        if (length == 0) {
            return {};
        }
        if (length < capacity - 1 || capacity == longest_name_capacity) {
            name.resize(length < capacity ? length : capacity);
            return name;
        }
    }
}

}  // namespace kestrum::platform
