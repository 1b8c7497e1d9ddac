#include "logging/file_record_formatter.h"

#include <spdlog/common.h>

#include <span>
#include <string_view>

namespace kestrum::logging {
namespace {

constexpr std::size_t millisecond_digits = 3;
constexpr std::string_view after_offset = "][";
constexpr std::string_view after_level = "] ";
constexpr std::string_view end_of_line = SPDLOG_EOL;
constexpr std::uint32_t hundred = 100;
constexpr std::uint32_t ten = 10;

}  // namespace

file_record_formatter::file_record_formatter(std::string pattern)
    : pattern_(std::move(pattern)), whole_record_(pattern_) {}

void file_record_formatter::format(const spdlog::details::log_msg& message, spdlog::memory_buf_t& out) {
    const auto since_epoch = message.time.time_since_epoch();
    const auto second = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
    if (second != second_) {
        // The pattern's own record gives the second's date, time and offset:
        // the date and time end at the milliseconds' point, the offset at the
        // bracket before the level.
        const std::size_t start = out.size();
        whole_record_.format(message, out);
        const std::string_view record = std::string_view(out.data(), out.size()).substr(start);
        const std::size_t point = record.find('.');
        const std::size_t offset_end = record.find(after_offset, point) + after_offset.size();
        before_milliseconds_ = record.substr(0, point + 1);
        after_milliseconds_ =
            record.substr(point + 1 + millisecond_digits, offset_end - point - 1 - millisecond_digits);
        second_ = second;
        return;
    }
    const auto milliseconds =
        static_cast<std::uint32_t>((std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch) -
                                    std::chrono::duration_cast<std::chrono::milliseconds>(second))
                                       .count());
    const char digits[] = {static_cast<char>('0' + milliseconds / hundred),
                           static_cast<char>('0' + milliseconds / ten % ten),
                           static_cast<char>('0' + milliseconds % ten)};
    const spdlog::string_view_t level = spdlog::level::to_string_view(message.level);
    const std::string_view pieces[] = {
        before_milliseconds_, std::string_view(digits, millisecond_digits),
        after_milliseconds_,  std::string_view(level.data(), level.size()),
        after_level,          std::string_view(message.payload.data(), message.payload.size()),
        end_of_line};
    std::size_t length = 0;
    for (const std::string_view piece : pieces) {
        length += piece.size();
    }
    // One growth of the buffer for the whole record.
    const std::size_t start = out.size();
    out.resize(start + length);
    std::span<char> rest = std::span(out.data(), out.size()).subspan(start);
    for (const std::string_view piece : pieces) {
        rest = rest.subspan(piece.copy(rest.data(), piece.size()));
    }
}

std::unique_ptr<spdlog::formatter> file_record_formatter::clone() const {
    return std::make_unique<file_record_formatter>(pattern_);
}

}  // namespace kestrum::logging
