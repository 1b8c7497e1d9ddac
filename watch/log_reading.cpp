#include "watch/log_reading.h"

#include <algorithm>
#include <span>

namespace kestrum::watch {
namespace {

constexpr DWORD largest_read = 1024 * 1024;
constexpr unsigned bits_per_dword = 32;

}  // namespace

std::uint64_t size_of(HANDLE file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

std::size_t read_into(HANDLE file, std::uint64_t offset, std::span<char> bytes) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        OVERLAPPED at{};
        const std::uint64_t position = offset + filled;
        // NOLINTBEGIN(cppcoreguidelines-pro-type-union-access): the platform's structure keeps the offset in a union
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> bits_per_dword);
        // NOLINTEND(cppcoreguidelines-pro-type-union-access)
        DWORD read = 0;
        const std::span<char> unread = bytes.subspan(filled);
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(unread.size(), largest_read));
        if (!::ReadFile(file, unread.data(), wanted, &read, &at) || read == 0) {
            break;
        }
        filled += read;
    }
    return filled;
}

std::string read_from(HANDLE file, std::uint64_t offset, std::uint64_t length) {
    std::string bytes(static_cast<std::size_t>(length), '\0');
    bytes.resize(read_into(file, offset, bytes));
    return bytes;
}

}  // namespace kestrum::watch
