#include "platform/system_error.h"

#include "platform/text_encoding.h"

#include <vector>

namespace kestrum::platform {
namespace {

// Room for a system message; a longer one fails and reads as "system error N".
constexpr std::size_t message_capacity = 1024;

}  // namespace

std::string system_error_text(DWORD error) {
    std::vector<wchar_t> buffer(message_capacity, L'\0');
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                    buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' ' ||
                          buffer[length - 1] == L'.')) {
        --length;
    }
    std::string text = to_utf8(std::wstring_view(buffer.data(), length));
    if (text.empty()) {
        text = "system error " + std::to_string(error);
    }
    return text;
}

void write_error_line(std::string_view utf8_line) {
    const HANDLE error_output = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error_output == nullptr || error_output == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(error_output, &mode)) {
        const std::wstring wide = to_utf16(utf8_line) + L"\r\n";
        ::WriteConsoleW(error_output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const std::string bytes = std::string(utf8_line) + "\r\n";
    ::WriteFile(error_output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace kestrum::platform
