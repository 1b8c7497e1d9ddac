#pragma once

#include "handoff/publisher.h"
#include "logging/file_record_formatter.h"

#include <spdlog/sinks/sink.h>
#include <spdlog/sinks/wincolor_sink.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrum::logging {

// Writes |bytes| to |file| whole; on failure, the system's error.
using log_writer = bool (*)(HANDLE file, std::string_view bytes, DWORD& error);
bool write_whole(HANDLE file, std::string_view bytes, DWORD& error) noexcept;

// Whether |output| is a console, which shows colour and takes UTF-16.
bool is_console(HANDLE output) noexcept;

// How standard output shows a record: its level in brackets, coloured on a
// console, then the message. On a file or a pipe these are the log record's
// bytes from its level on.
inline constexpr char console_pattern[] = "[%^%l%$] %v";

// The run's one sink. A record is formatted once, in the log file's layout,
// and costs two writes: the part from its level on goes to standard output
// (its level coloured on a console), then the whole record goes to the log
// with a single WriteFile. No stream buffer holds it back, so a crash or a
// kill loses at most the record being written, and no flush is ever needed.
// The handles are borrowed; their owner keeps them open for as long as the
// sink lives.
//
// Standard output can block: a reader that pauses (`| more` at its first
// page), a console selection. The watcher must tell that from a hung add-in,
// so around each console write the sink publishes which record is being
// written. In the worker, it also publishes every record the log takes and
// the first failed write, and writes nothing to the log after that failure:
// the log stays the run's first records, whole, and the watcher says where it
// ends. Elsewhere a failed write throws, as spdlog's own sinks do.
//
// Nothing here waits for a lock: a second thread that logs while a record is
// being formatted formats its own with a formatter of its own.
class record_sink final : public spdlog::sinks::sink {
public:
    record_sink(HANDLE file, HANDLE output, handoff::publisher publish = {}, log_writer write = write_whole);

    void log(const spdlog::details::log_msg& message) override;
    void flush() override {}
    // The record has the one layout the log's readers rely on.
    void set_pattern(const std::string& /*pattern*/) override {}
    void set_formatter(std::unique_ptr<spdlog::formatter> /*formatter*/) override {}

private:
    void write_console(std::string_view record, const spdlog::details::log_msg& message);
    void write_log(std::string_view record);

    using console_sink = spdlog::sinks::wincolor_sink<spdlog::details::console_nullmutex>;

    HANDLE file_;
    HANDLE output_;
    std::unique_ptr<console_sink> console_;  // only when |output| is a console
    handoff::publisher publish_;
    log_writer write_;
    file_record_formatter formatter_;
    std::atomic<bool> formatter_busy_{false};
    std::atomic<bool> failed_{false};
    std::atomic<std::uint32_t> console_records_{0};
};

}  // namespace kestrum::logging
