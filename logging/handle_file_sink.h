#pragma once

#include "handoff/publisher.h"

#include <spdlog/sinks/base_sink.h>

#include <windows.h>

#include <mutex>
#include <string_view>

namespace kestrum::logging {

// Writes |bytes| to |file| whole; on failure, the system's error.
using log_writer = bool (*)(HANDLE file, std::string_view bytes, DWORD& error);
bool write_whole(HANDLE file, std::string_view bytes, DWORD& error) noexcept;

// Writes each record to an open file with a single WriteFile as soon as it is
// formatted: no stream buffer holds it back, so a crash or a kill loses at
// most the record being written, and no flush is ever needed. The handle is
// borrowed; its owner keeps it open for as long as the sink lives.
//
// In the worker, the sink publishes every record it takes and the first failed
// write, and writes nothing after that failure: the log stays the run's first
// records, whole, and the watcher says where it ends. Elsewhere a failed write
// throws, as spdlog's own sinks do.
class handle_file_sink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit handle_file_sink(HANDLE file, handoff::publisher publish = {}, log_writer write = write_whole) noexcept
        : file_(file), publish_(publish), write_(write) {}

protected:
    void sink_it_(const spdlog::details::log_msg& message) override;
    void flush_() override {}

private:
    HANDLE file_;
    handoff::publisher publish_;
    log_writer write_;
    bool failed_ = false;
};

}  // namespace kestrum::logging
