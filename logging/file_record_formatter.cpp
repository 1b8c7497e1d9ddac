#include "logging/file_record_formatter.h"

#include <spdlog/common.h>
#include <spdlog/details/os.h>

#include <string_view>

namespace kestrum::logging {

void file_record_formatter::format(const spdlog::details::log_msg& message, spdlog::memory_buf_t& out) {
    const auto since_epoch = message.time.time_since_epoch();
    const auto second = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
    const auto milliseconds =
        static_cast<unsigned>((std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch) - second).count());
    if (second != second_) {
        // Local time and its offset as the pattern formatter finds them.
        const std::tm local = spdlog::details::os::localtime(static_cast<std::time_t>(second.count()));
        write_stamp(stamp_, local, milliseconds, spdlog::details::os::utc_minutes_offset(local));
        second_ = second;
    } else {
        set_stamp_milliseconds(stamp_, milliseconds);
    }
    const spdlog::string_view_t level = spdlog::level::to_string_view(message.level);
    const std::string_view level_text(level.data(), level.size());
    const std::string_view text(message.payload.data(), message.payload.size());
    // One growth of the buffer for the whole record.
    const std::size_t start = out.size();
    out.resize(start + record_size(level_text, text));
    write_record(std::span(out.data(), out.size()).subspan(start), stamp_, level_text, text);
}

std::unique_ptr<spdlog::formatter> file_record_formatter::clone() const {
    return std::make_unique<file_record_formatter>();
}

}  // namespace kestrum::logging
