#include "logging/record_sink.h"

#include "logging/record_layout.h"

#include <spdlog/common.h>
#include <spdlog/details/os.h>

#include <fmt/format.h>

namespace kestrum::logging {
namespace {

// The level's colour on a console, as spdlog's console sinks give it.
WORD level_color(spdlog::level::level_enum level) noexcept {
    switch (level) {
        case spdlog::level::trace:
            return FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
        case spdlog::level::debug:
            return FOREGROUND_GREEN | FOREGROUND_BLUE;
        case spdlog::level::info:
            return FOREGROUND_GREEN;
        case spdlog::level::warn:
            return FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY;
        case spdlog::level::err:
            return FOREGROUND_RED | FOREGROUND_INTENSITY;
        case spdlog::level::critical:
            return BACKGROUND_RED | FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE | FOREGROUND_INTENSITY;
        default:
            return 0;
    }
}

// A console takes UTF-16: written as UTF-8 it would show in the console's
// code page.
void write_to_console(HANDLE console, std::string_view text) {
    if (text.empty()) {
        return;
    }
    spdlog::wmemory_buf_t wide;
    spdlog::details::os::utf8_to_wstrbuf(spdlog::string_view_t(text.data(), text.size()), wide);
    DWORD written = 0;
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

bool is_console(HANDLE output) noexcept {
    DWORD mode = 0;
    return output != nullptr && output != INVALID_HANDLE_VALUE && ::GetConsoleMode(output, &mode) != 0;
}

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

record_sink::record_sink(HANDLE file, HANDLE output, handoff::publisher publish, log_writer write) noexcept
    : file_(file), output_(output), output_is_console_(is_console(output)), publish_(publish), write_(write) {}

void record_sink::log(const spdlog::details::log_msg& message) {
    spdlog::memory_buf_t record;
    if (const formatter_claim claim(formatter_busy_); claim) {
        formatter_.format(message, record);
    } else {
        file_record_formatter().format(message, record);
    }
    const std::string_view whole(record.data(), record.size());
    write_console(console_part(whole), message.level);
    write_log(whole);
}

void record_sink::write_console(std::string_view record, spdlog::level::level_enum level) {
    // Counted without a locked add: the number only names the record a
    // paused reader holds, and records come from one thread at a time.
    const std::uint32_t number = console_records_.load(std::memory_order_relaxed) + 1;
    console_records_.store(number, std::memory_order_relaxed);
    publish_.console_writing(number);
    if (output_is_console_) {
        // "[", the level in its colour, then the rest, as the pattern
        // "[%^%l%$] %v" colours it.
        const std::size_t level_end = 1 + spdlog::level::to_string_view(level).size();
        write_to_console(output_, record.substr(0, 1));
        CONSOLE_SCREEN_BUFFER_INFO before{};
        const bool coloured = ::GetConsoleScreenBufferInfo(output_, &before) != 0;
        if (coloured) {
            constexpr WORD background = 0xfff0;
            ::SetConsoleTextAttribute(output_,
                                      static_cast<WORD>(level_color(level) | (before.wAttributes & background)));
        }
        write_to_console(output_, record.substr(1, level_end - 1));
        if (coloured) {
            ::SetConsoleTextAttribute(output_, before.wAttributes);
        }
        write_to_console(output_, record.substr(level_end));
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
