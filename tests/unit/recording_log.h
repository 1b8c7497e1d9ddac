#pragma once

// A logger for tests that keeps every record as "[level] message", the way the
// console shows it without colour.

#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrum::testing {

class recording_sink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<std::string> records;

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        records.push_back("[" + std::string(spdlog::level::to_string_view(message.level).data(),
                                            spdlog::level::to_string_view(message.level).size()) +
                          "] " + std::string(message.payload.data(), message.payload.size()));
    }
    void flush_() override {}
};

class recording_log {
public:
    recording_log() : sink_(std::make_shared<recording_sink>()), logger_("log", sink_) {}

    spdlog::logger& logger() { return logger_; }
    const std::vector<std::string>& records() const { return sink_->records; }

private:
    std::shared_ptr<recording_sink> sink_;
    spdlog::logger logger_;
};

}  // namespace kestrum::testing
