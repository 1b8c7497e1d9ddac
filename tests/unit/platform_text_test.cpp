#include "logging/platform_text.h"

#include <spdlog/details/os.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace kestrum::logging {
namespace {

using namespace std::string_view_literals;

struct escaping {
    std::wstring_view text;
    std::wstring_view escaped;
};

class PlatformText : public ::testing::TestWithParam<escaping> {};

TEST_P(PlatformText, EscapesWhatCouldBreakARecordAndKeepsEverythingElse) {
    EXPECT_EQ(escape_platform_text(GetParam().text), GetParam().escaped);
    // A listing's message: the bytes the logger makes of the same text through a wide format string.
    spdlog::memory_buf_t logged;
    spdlog::details::os::wstr_to_utf8buf(fmt::format(L"  {}", escaped{GetParam().text}), logged);
    EXPECT_EQ(fmt::to_string(escaped_message("  ", GetParam().text).view()), fmt::to_string(logged));
}

// Each range's first and last unit, and the neighbours just outside it.
INSTANTIATE_TEST_SUITE_P(
    EachBoundary, PlatformText,
    ::testing::Values(escaping{L"", L""}, escaping{L"\0"sv, L"<U+0000>"}, escaping{L"a\0b"sv, L"a<U+0000>b"},
                      escaping{L"\x1f ~", L"<U+001F> ~"}, escaping{L"\r\n", L"<U+000D><U+000A>"},
                      escaping{L"\x7f", L"<U+007F>"}, escaping{L"\x80", L"<U+0080>"},
                      escaping{L"\x9f\xa0", L"<U+009F>\xa0"}, escaping{L"\u2027\u2028", L"\u2027<U+2028>"},
                      escaping{L"\u2029\u202a", L"<U+2029>\u202a"},
                      escaping{L"C:\\A\xd800" L"B\xdc00", L"C:\\A\xd800" L"B\xdc00"},
                      escaping{L"<U+000A>", L"<U+000A>"}, escaping{L"\U0001F600", L"\U0001F600"}));

}  // namespace
}  // namespace kestrum::logging
