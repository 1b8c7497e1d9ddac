#pragma once

#include "platform/grown_buffer.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace kestrum::platform {

// Doubling from MAX_PATH reaches the longest name at the eighth call.
constexpr int module_name_calls = 8;

// Reads a module's file name through |read(buffer, capacity)|, which returns
// the characters written (0 on failure) and cuts a name that does not fit.
// A name that fills the buffer may have been cut, so it is read again into
// one twice as large, up to the longest name. Empty when it cannot be read.
template <typename ReadName>
std::wstring read_whole_module_name(ReadName read) {
    return grown_text(
        [&read](wchar_t* name, DWORD capacity) {
            const DWORD length = read(name, capacity);
            const bool may_be_cut = length != 0 && length + 1 >= capacity && capacity < longest_name_capacity;
            return filled{length, may_be_cut ? std::min(capacity * 2, longest_name_capacity) : 0};
        },
        {.first = MAX_PATH, .rounds = module_name_calls});
}

}  // namespace kestrum::platform
