#include "logging/platform_text.h"

#include <windows.h>

#include <algorithm>
#include <span>

namespace kestrum::logging {
namespace {

// The most UTF-16 units converted at once: far below the platform's int
// sizes, whatever length an add-in's string claims.
constexpr std::size_t units_per_conversion = std::size_t{1} << 20;
constexpr std::size_t utf8_bytes_per_unit = 3;

bool is_high_surrogate(wchar_t unit) noexcept {
    constexpr unsigned first = 0xD800;
    constexpr unsigned last = 0xDBFF;
    return static_cast<unsigned>(unit) >= first && static_cast<unsigned>(unit) <= last;
}

// |run| in UTF-8 at the end of |out|, as the logger converts wide text: a
// lone surrogate becomes U+FFFD. A pair is never cut between two pieces.
template <typename Buffer>
void append_utf8(Buffer& out, std::wstring_view run) {
    while (!run.empty()) {
        std::size_t units = std::min(run.size(), units_per_conversion);
        if (units < run.size() && is_high_surrogate(run[units - 1])) {
            --units;
        }
        const std::size_t start = out.size();
        out.resize(start + utf8_bytes_per_unit * units);
        const std::span<char> room = std::span(out.data(), out.size()).subspan(start);
        const int written = ::WideCharToMultiByte(CP_UTF8, 0, run.data(), static_cast<int>(units), room.data(),
                                                  static_cast<int>(room.size()), nullptr, nullptr);
        out.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
        run.remove_prefix(units);
    }
}

}  // namespace

std::wstring escape_platform_text(std::wstring_view text) { return fmt::format(L"{}", escaped{text}); }

escaped_message::escaped_message(std::string_view prefix, std::wstring_view text) {
    buffer_.append(prefix);
    while (!text.empty()) {
        std::size_t kept = 0;
        while (kept < text.size() && !is_escaped_in_records(text[kept])) {
            ++kept;
        }
        append_utf8(buffer_, text.substr(0, kept));
        if (kept == text.size()) {
            break;
        }
        const std::array<char, escape_length> spelling = escape_spelling(text[kept]);
        buffer_.append(std::string_view(spelling.data(), spelling.size()));
        text.remove_prefix(kept + 1);
    }
}

}  // namespace kestrum::logging
