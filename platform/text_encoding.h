#pragma once

#include <string>
#include <string_view>

namespace kestrum::platform {

// Conversions between the platform's UTF-16 and the UTF-8 the program writes.
std::string to_utf8(std::wstring_view text);
std::wstring to_utf16(std::string_view utf8);

}  // namespace kestrum::platform
