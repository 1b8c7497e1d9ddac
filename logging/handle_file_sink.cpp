#include "logging/handle_file_sink.h"

#include "logging/verdict_record.h"

#include <spdlog/common.h>

#include <fmt/format.h>

namespace kestrum::logging {

bool write_whole(HANDLE file, std::string_view bytes, DWORD& error) noexcept {
    DWORD written = 0;
    if (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size()) {
        return true;
    }
    error = ::GetLastError();
    return false;
}

// Published with release stores: the watcher, in another process, needs each
// value whole and in order, nothing more, and a record pays no full fence.
//
// Before the write: the watcher then knows, even of a record cut short by a
// kill, whose bytes are at the log's end.
void handle_file_sink::publish_taken(const spdlog::details::log_msg& message, std::uint32_t record,
                                     std::size_t size) noexcept {
    const spdlog::string_view_t level = spdlog::level::to_string_view(message.level);
    if (const std::optional<std::uint32_t> code =
            verdict_code_of(std::string_view(level.data(), level.size()),
                            std::string_view(message.payload.data(), message.payload.size()))) {
        // Only kestrum's own calls reach this sink, and platform text never
        // stands alone in a record: this is the verdict. A run that reaches
        // it exits 0.
        progress_->verdict_code.store(*code, std::memory_order_release);
        progress_->verdict_status.store(0, std::memory_order_release);
        progress_->verdict_record.store(record, std::memory_order_release);
    }
    progress_->log_pending_bytes.store(static_cast<std::uint32_t>(size), std::memory_order_release);
}

void handle_file_sink::sink_it_(const spdlog::details::log_msg& message) {
    spdlog::memory_buf_t formatted;
    formatter_->format(message, formatted);
    const std::uint32_t record = ++records_;
    if (progress_ != nullptr) {
        publish_taken(message, record, failed_ ? 0 : formatted.size());
    }
    DWORD error = ERROR_SUCCESS;
    if (!failed_ && !write_(file_, std::string_view(formatted.data(), formatted.size()), error)) {
        if (progress_ == nullptr) {
            throw spdlog::spdlog_ex(fmt::format("cannot write the log file: system error {}", error));
        }
        failed_ = true;
        progress_->log_failed_after.store(record - 1, std::memory_order_release);
        progress_->log_failed_error.store(error, std::memory_order_release);
    } else if (!failed_) {
        bytes_ += formatted.size();
    }
    if (progress_ != nullptr) {
        progress_->log_bytes.store(bytes_, std::memory_order_release);
        progress_->log_pending_bytes.store(0, std::memory_order_release);
        progress_->log_records.store(record, std::memory_order_release);
    }
}

}  // namespace kestrum::logging
