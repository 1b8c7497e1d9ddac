#include "logging/record_layout.h"

#include <spdlog/details/os.h>

#include <algorithm>

namespace kestrum::logging {
namespace {

constexpr std::string_view after_stamp = "[";
constexpr std::string_view after_level = "] ";
constexpr std::string_view end_of_line = SPDLOG_EOL;
constexpr unsigned ten = 10;
constexpr int minutes_per_hour = 60;
constexpr int first_year = 1900;

// Positions in "[2026-12-09 21:05:07.123 +01:00]".
constexpr std::size_t year_at = 1;
constexpr std::size_t month_at = 6;
constexpr std::size_t day_at = 9;
constexpr std::size_t hour_at = 12;
constexpr std::size_t minute_at = 15;
constexpr std::size_t second_at = 18;
constexpr std::size_t milliseconds_at = 21;
constexpr std::size_t sign_at = 25;
constexpr std::size_t offset_hours_at = 26;
constexpr std::size_t offset_minutes_at = 29;
constexpr std::string_view stamp_shape = "[0000-00-00 00:00:00.000 +00:00]";
static_assert(stamp_shape.size() == stamp_size);

// |value|'s last |digits| decimal digits at |at|.
void put_digits(record_stamp stamp, std::size_t at, unsigned value, std::size_t digits) noexcept {
    for (std::size_t digit = digits; digit > 0; --digit) {
        stamp[at + digit - 1] = static_cast<char>('0' + value % ten);
        value /= ten;
    }
}

}  // namespace

void write_stamp(record_stamp stamp, const std::tm& local, unsigned milliseconds, int utc_offset_minutes) noexcept {
    stamp_shape.copy(stamp.data(), stamp_size);
    put_digits(stamp, year_at, static_cast<unsigned>(local.tm_year + first_year), 4);
    put_digits(stamp, month_at, static_cast<unsigned>(local.tm_mon + 1), 2);
    put_digits(stamp, day_at, static_cast<unsigned>(local.tm_mday), 2);
    put_digits(stamp, hour_at, static_cast<unsigned>(local.tm_hour), 2);
    put_digits(stamp, minute_at, static_cast<unsigned>(local.tm_min), 2);
    put_digits(stamp, second_at, static_cast<unsigned>(local.tm_sec), 2);
    set_stamp_milliseconds(stamp, milliseconds);
    const int offset = utc_offset_minutes < 0 ? -utc_offset_minutes : utc_offset_minutes;
    stamp[sign_at] = utc_offset_minutes < 0 ? '-' : '+';
    put_digits(stamp, offset_hours_at, static_cast<unsigned>(offset / minutes_per_hour), 2);
    put_digits(stamp, offset_minutes_at, static_cast<unsigned>(offset % minutes_per_hour), 2);
}

void set_stamp_milliseconds(record_stamp stamp, unsigned milliseconds) noexcept {
    put_digits(stamp, milliseconds_at, milliseconds, 3);
}

std::size_t record_size(std::string_view level, std::string_view message) noexcept {
    return stamp_size + after_stamp.size() + level.size() + after_level.size() + message.size() + end_of_line.size();
}

std::size_t write_record(std::span<char> out, std::span<const char, stamp_size> stamp, std::string_view level,
                         std::string_view message) noexcept {
    const std::string_view pieces[] = {
        std::string_view(stamp.data(), stamp.size()), after_stamp, level, after_level, message, end_of_line};
    std::size_t written = 0;
    for (const std::string_view piece : pieces) {
        written += piece.copy(out.data() + written, std::min(piece.size(), out.size() - written));
    }
    return written;
}

}  // namespace kestrum::logging
