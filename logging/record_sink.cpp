#include "logging/record_sink.h"

#include "logging/record_layout.h"

#include <spdlog/common.h>

#include <fmt/format.h>

namespace kestrum::logging {
namespace {

// Holds the sink's formatter for one record, when no other thread does.
class formatter_claim {
public:
    explicit formatter_claim(std::atomic<bool>& busy) noexcept
        : busy_(busy), held_(!busy.exchange(true, std::memory_order_acquire)) {}
    ~formatter_claim() {
        if (held_) {
            busy_.store(false, std::memory_order_release);
        }
    }
    formatter_claim(const formatter_claim&) = delete;
    formatter_claim& operator=(const formatter_claim&) = delete;
    formatter_claim(formatter_claim&&) = delete;
    formatter_claim& operator=(formatter_claim&&) = delete;

    explicit operator bool() const noexcept { return held_; }

private:
    std::atomic<bool>& busy_;
    bool held_;
};

}  // namespace

bool is_console(HANDLE output) noexcept {
    DWORD mode = 0;
    return output != nullptr && output != INVALID_HANDLE_VALUE && ::GetConsoleMode(output, &mode) != 0;
}

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

record_sink::record_sink(HANDLE file, HANDLE output, handoff::publisher publish, log_writer write)
    : file_(file), output_(output), publish_(publish), write_(write) {
    if (is_console(output)) {
        // A console shows the level in its colour and takes UTF-16: spdlog's
        // own console sink does both, with no lock of its own.
        console_ = std::make_unique<console_sink>(output, spdlog::color_mode::automatic);
        console_->set_pattern(console_pattern);
    }
}

void record_sink::log(const spdlog::details::log_msg& message) {
    spdlog::memory_buf_t record;
    if (const formatter_claim claim(formatter_busy_); claim) {
        formatter_.format(message, record);
    } else {
        file_record_formatter().format(message, record);
    }
    const std::string_view whole(record.data(), record.size());
    write_console(console_part(whole), message);
    write_log(whole);
}

void record_sink::write_console(std::string_view record, const spdlog::details::log_msg& message) {
    // Counted without a locked add: the number only names the record a
    // paused reader holds, and records come from one thread at a time.
    const std::uint32_t number = console_records_.load(std::memory_order_relaxed) + 1;
    console_records_.store(number, std::memory_order_relaxed);
    publish_.console_writing(number);
    if (console_) {
        console_->log(message);
    } else if (output_ != nullptr && output_ != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(output_, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    }
    publish_.console_writing(0);
}

void record_sink::write_log(std::string_view record) {
    const bool failed = failed_.load(std::memory_order_relaxed);
    const auto size = static_cast<std::uint32_t>(failed ? 0 : record.size());
    publish_.log_writing(size);
    DWORD error = ERROR_SUCCESS;
    if (!failed && !write_(file_, record, error)) {
        if (!publish_.publishing()) {
            throw spdlog::spdlog_ex(fmt::format("cannot write the log file: system error {}", error));
        }
        failed_.store(true, std::memory_order_relaxed);
        publish_.log_failed(error);
        publish_.log_written(size, 0, 1);
        return;
    }
    publish_.log_written(size, size, 1);
}

}  // namespace kestrum::logging
