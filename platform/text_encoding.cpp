#include "platform/text_encoding.h"

#include <windows.h>

namespace kestrum::platform {

std::string to_utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int wide_length = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide_length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide_length, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring to_utf16(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int narrow_length = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), narrow_length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), narrow_length, wide.data(), length);
    return wide;
}

}  // namespace kestrum::platform
