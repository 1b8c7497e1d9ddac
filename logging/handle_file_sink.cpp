#include "logging/handle_file_sink.h"

#include <spdlog/common.h>

#include <fmt/format.h>

namespace kestrum::logging {

void handle_file_sink::sink_it_(const spdlog::details::log_msg& message) {
    spdlog::memory_buf_t formatted;
    formatter_->format(message, formatted);
    DWORD written = 0;
    if (!::WriteFile(file_, formatted.data(), static_cast<DWORD>(formatted.size()), &written, nullptr) ||
        written != formatted.size()) {
        throw spdlog::spdlog_ex(fmt::format("cannot write the log file: system error {}", ::GetLastError()));
    }
}

}  // namespace kestrum::logging
