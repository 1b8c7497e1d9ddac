#pragma once

// Text that the platform or an add-in hands over (module paths, runtime
// versions, assembly names and locations, registry values) is data: it may
// hold any UTF-16 unit, and must never end a record early, start a forged
// one or drive the terminal that shows it.

#include <fmt/xchar.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace kestrum::logging {

// Whether |unit| is written escaped: the C0 controls (below U+0020), DEL
// (U+007F), the C1 controls (U+0080 to U+009F) and the line and paragraph
// separators (U+2028, U+2029).
constexpr bool is_escaped_in_records(wchar_t unit) noexcept {
    constexpr unsigned first_printable = 0x20;
    constexpr unsigned delete_unit = 0x7F;
    constexpr unsigned last_c1_control = 0x9F;
    constexpr unsigned line_separator = 0x2028;
    constexpr unsigned paragraph_separator = 0x2029;
    const auto code = static_cast<unsigned>(unit);
    // Printable ASCII first: nearly every unit of a path or a name.
    if (code - first_printable < delete_unit - first_printable) {
        return false;
    }
    return code <= last_c1_control || code == line_separator || code == paragraph_separator;
}

// How an escaped unit is written: "<U+XXXX>", four upper-case hex digits.
inline constexpr std::size_t escape_length = 8;
constexpr std::array<char, escape_length> escape_spelling(wchar_t unit) noexcept {
    constexpr std::string_view hex_digits = "0123456789ABCDEF";
    constexpr unsigned bits_per_hex_digit = 4;
    constexpr unsigned hex_digit_mask = 0xF;
    const auto code = static_cast<unsigned>(unit);
    return {'<',
            'U',
            '+',
            hex_digits[(code >> (3 * bits_per_hex_digit)) & hex_digit_mask],
            hex_digits[(code >> (2 * bits_per_hex_digit)) & hex_digit_mask],
            hex_digits[(code >> bits_per_hex_digit) & hex_digit_mask],
            hex_digits[code & hex_digit_mask],
            '>'};
}

// Platform text as a wide format argument: it is written as it may stand in
// a record, each unit above as "<U+XXXX>" (four upper-case hex digits),
// everything else as it is, straight into the record being formatted.
// '<' and '>' cannot occur in a Windows path, so a path stays readable and
// an escape cannot be mistaken for part of one. Every unit of |text| counts,
// an embedded NUL too: pass a BSTR with its own length. A lone surrogate is
// kept here and becomes U+FFFD when the record is converted to UTF-8.
struct escaped {
    std::wstring_view text;
};

// The same text as a string of its own, for records built in pieces.
std::wstring escape_platform_text(std::wstring_view text);

// A record's whole message, |prefix| and then |text| escaped, in the UTF-8
// the logger makes of the same text given through a wide format string. The
// listings write hundreds of thousands of these records: built here, each
// skips the wide formatting and its second conversion. Short messages need
// no allocation.
class escaped_message {
public:
    escaped_message(std::string_view prefix, std::wstring_view text);

    fmt::string_view view() const noexcept { return {buffer_.data(), buffer_.size()}; }

private:
    static constexpr std::size_t inline_bytes = 512;
    fmt::basic_memory_buffer<char, inline_bytes> buffer_;
};

}  // namespace kestrum::logging

// Writes the runs between escaped units whole: a listing of many thousands
// of names and paths formats each with no copy of its own.
template <>
struct fmt::formatter<kestrum::logging::escaped, wchar_t> {
    static constexpr auto parse(fmt::wformat_parse_context& context) { return context.begin(); }

    template <typename FormatContext>
    auto format(const kestrum::logging::escaped& value, FormatContext& context) const {
        const fmt::formatter<std::wstring_view, wchar_t> plain;
        std::wstring_view rest = value.text;
        while (!rest.empty()) {
            std::size_t kept = 0;
            while (kept < rest.size() && !kestrum::logging::is_escaped_in_records(rest[kept])) {
                ++kept;
            }
            if (kept != 0) {
                context.advance_to(plain.format(rest.substr(0, kept), context));
            }
            if (kept == rest.size()) {
                break;
            }
            const std::array<char, kestrum::logging::escape_length> spelling =
                kestrum::logging::escape_spelling(rest[kept]);
            std::array<wchar_t, spelling.size()> wide{};
            std::copy(spelling.begin(), spelling.end(), wide.begin());
            context.advance_to(plain.format(std::wstring_view(wide.data(), wide.size()), context));
            rest.remove_prefix(kept + 1);
        }
        return context.out();
    }
};
