#include "logging/platform_text.h"

#include <cstdint>

namespace kestrum::logging {
namespace {

constexpr std::wstring_view escape_opening = L"<U+";
constexpr wchar_t escape_closing = L'>';
constexpr std::wstring_view hex_digits = L"0123456789ABCDEF";
constexpr int escape_hex_digits = 4;
constexpr unsigned bits_per_hex_digit = 4;
constexpr std::uint32_t hex_digit_mask = 0xF;

constexpr std::uint32_t first_printable = 0x20;
constexpr std::uint32_t delete_unit = 0x7F;
constexpr std::uint32_t last_c1_control = 0x9F;
constexpr std::uint32_t line_separator = 0x2028;
constexpr std::uint32_t paragraph_separator = 0x2029;

void append_escape(std::wstring& out, std::uint32_t code) {
    out.append(escape_opening);
    for (int digit = escape_hex_digits - 1; digit >= 0; --digit) {
        out.push_back(hex_digits[(code >> (static_cast<unsigned>(digit) * bits_per_hex_digit)) & hex_digit_mask]);
    }
    out.push_back(escape_closing);
}

}  // namespace

bool is_escaped_in_records(wchar_t unit) noexcept {
    const auto code = static_cast<std::uint32_t>(unit);
    return code < first_printable || (code >= delete_unit && code <= last_c1_control) || code == line_separator ||
           code == paragraph_separator;
}

std::wstring escape_platform_text(std::wstring_view text) {
    std::wstring safe;
    safe.reserve(text.size());
    for (const wchar_t unit : text) {
        if (is_escaped_in_records(unit)) {
            append_escape(safe, static_cast<std::uint32_t>(unit));
        } else {
            safe.push_back(unit);
        }
    }
    return safe;
}

}  // namespace kestrum::logging
