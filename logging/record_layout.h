#pragma once

// The log file's record, written once for every writer: the logger's file
// formatter and the crash report, which uses it with its fixed buffers. The
// bytes are those of spdlog's pattern "[%Y-%m-%d %H:%M:%S.%e %z][%l] %v":
// "[2026-12-09 21:05:07.123 +01:00][info] message\r\n". Nothing here
// allocates, locks or throws.

#include <cstddef>
#include <ctime>
#include <span>
#include <string_view>

namespace kestrum::logging {

// "[2026-12-09 21:05:07.123 +01:00]"
inline constexpr std::size_t stamp_size = 32;
using record_stamp = std::span<char, stamp_size>;

// The stamp of local time |local|, |milliseconds| past its second, in a zone
// |utc_offset_minutes| east of UTC.
void write_stamp(record_stamp stamp, const std::tm& local, unsigned milliseconds, int utc_offset_minutes) noexcept;

// The same stamp |milliseconds| past the same second.
void set_stamp_milliseconds(record_stamp stamp, unsigned milliseconds) noexcept;

// The length of the record of |message| at |level| ("info", "error").
std::size_t record_size(std::string_view level, std::string_view message) noexcept;

// The part of a whole |record| that standard output shows: from its level on,
// "[info] message\r\n", the bytes of spdlog's pattern "[%l] %v".
constexpr std::string_view console_part(std::string_view record) noexcept { return record.substr(stamp_size); }

// Writes the record into |out|, cut short where |out| is; the bytes written.
std::size_t write_record(std::span<char> out, std::span<const char, stamp_size> stamp, std::string_view level,
                         std::string_view message) noexcept;

}  // namespace kestrum::logging
