#include "logging/log_location.h"

#include "platform/grown_buffer.h"
#include "platform/system_error.h"
#include "platform/text_encoding.h"

namespace kestrum::logging {
namespace {

constexpr std::wstring_view long_path_prefix = L"\\\\?\\";
constexpr std::wstring_view long_share_prefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view share_prefix = L"\\\\";

}  // namespace

std::wstring without_long_path_prefix(std::wstring_view final_path) {
    if (final_path.starts_with(long_share_prefix)) {
        return std::wstring(share_prefix) + std::wstring(final_path.substr(long_share_prefix.size()));
    }
    return std::wstring(final_path.starts_with(long_path_prefix) ? final_path.substr(long_path_prefix.size())
                                                                 : final_path);
}

std::string log_location_line(HANDLE file) {
    const std::wstring path = platform::sized_text([file](wchar_t* buffer, DWORD size) {
        return ::GetFinalPathNameByHandleW(file, buffer, size, VOLUME_NAME_DOS);
    });
    if (path.empty()) {
        return {};
    }
    return "Log: " + platform::to_utf8(without_long_path_prefix(path));
}

void write_log_location(const std::string& line) {
    if (!line.empty()) {
        platform::write_error_line(line);
    }
}

}  // namespace kestrum::logging
