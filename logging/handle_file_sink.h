#pragma once

#include <spdlog/sinks/base_sink.h>

#include <windows.h>

#include <mutex>

namespace kestrum::logging {

// Writes each record to an open file with a single WriteFile as soon as it is
// formatted: no stream buffer holds it back, so a crash or a kill loses at
// most the record being written, and no flush is ever needed. The handle is
// borrowed; its owner keeps it open for as long as the sink lives.
class handle_file_sink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit handle_file_sink(HANDLE file) noexcept : file_(file) {}

protected:
    void sink_it_(const spdlog::details::log_msg& message) override;
    void flush_() override {}

private:
    HANDLE file_;
};

}  // namespace kestrum::logging
