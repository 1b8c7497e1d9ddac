#include "logging/verdict_record.h"

#include <algorithm>
#include <charconv>

namespace kestrum::logging {
namespace {

constexpr std::string_view error_verdict_start = "An error occurred. HRESULT=0x";
constexpr std::size_t code_digits = 8;
constexpr int hexadecimal = 16;

bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

std::optional<std::uint32_t> verdict_code_of(std::string_view level, std::string_view message) {
    if (level == "info") {
        return message == "Done." ? std::optional<std::uint32_t>(0) : std::nullopt;
    }
    if (level != "error" || !message.starts_with(error_verdict_start) ||
        message.size() != error_verdict_start.size() + code_digits) {
        return std::nullopt;
    }
    const std::string_view digits = message.substr(error_verdict_start.size());
    if (!std::ranges::all_of(digits, is_upper_hex)) {
        return std::nullopt;
    }
    std::uint32_t code = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), code, hexadecimal);
    return code;
}

}  // namespace kestrum::logging
