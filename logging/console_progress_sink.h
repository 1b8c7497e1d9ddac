#pragma once

#include "handoff/publisher.h"

#include <spdlog/sinks/sink.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace kestrum::logging {

// Standard output can block: a reader that pauses (`| more` at its first
// page), a console selection. The watcher must tell that from a hung add-in,
// so around each console write this says which record is being written. It
// also tells the watcher that a worker ended inside a console record.
class console_progress_sink final : public spdlog::sinks::sink {
public:
    console_progress_sink(std::shared_ptr<spdlog::sinks::sink> console, handoff::publisher publish) noexcept
        : console_(std::move(console)), publish_(publish) {}

    void log(const spdlog::details::log_msg& message) override {
        const std::uint32_t record = records_.fetch_add(1) + 1;
        publish_.console_writing(record);
        console_->log(message);
        publish_.console_writing(0);
    }
    void flush() override { console_->flush(); }
    void set_pattern(const std::string& pattern) override { console_->set_pattern(pattern); }
    void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override {
        console_->set_formatter(std::move(formatter));
    }

private:
    std::shared_ptr<spdlog::sinks::sink> console_;
    handoff::publisher publish_;
    std::atomic<std::uint32_t> records_{0};
};

}  // namespace kestrum::logging
