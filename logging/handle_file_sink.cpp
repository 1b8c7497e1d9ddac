#include "logging/handle_file_sink.h"

#include <spdlog/common.h>

#include <fmt/format.h>

namespace kestrum::logging {

bool write_whole(HANDLE file, std::string_view bytes, DWORD& error) noexcept {
    // A volume that fills up mid-record takes part of it and says so only at
    // the next write: the rest is offered again, so the error is the
    // system's own. Each round writes something or ends the loop.
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        if (written == 0) {
            error = ERROR_WRITE_FAULT;
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

void handle_file_sink::sink_it_(const spdlog::details::log_msg& message) {
    spdlog::memory_buf_t formatted;
    formatter_->format(message, formatted);
    const auto size = static_cast<std::uint32_t>(failed_ ? 0 : formatted.size());
    publish_.log_writing(size);
    DWORD error = ERROR_SUCCESS;
    if (!failed_ && !write_(file_, std::string_view(formatted.data(), formatted.size()), error)) {
        if (!publish_.publishing()) {
            throw spdlog::spdlog_ex(fmt::format("cannot write the log file: system error {}", error));
        }
        failed_ = true;
        publish_.log_failed(error);
        publish_.log_written(size, 0, 1);
        return;
    }
    publish_.log_written(size, size, 1);
}

}  // namespace kestrum::logging
