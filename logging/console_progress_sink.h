#pragma once

#include "logging/run_progress.h"

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
    console_progress_sink(std::shared_ptr<spdlog::sinks::sink> console, run_progress* progress) noexcept
        : console_(std::move(console)), progress_(progress) {}

    void log(const spdlog::details::log_msg& message) override {
        const std::uint32_t record = records_.fetch_add(1) + 1;
        if (progress_ != nullptr) {
            progress_->console_record.store(record, std::memory_order_release);
        }
        console_->log(message);
        if (progress_ != nullptr) {
            progress_->console_record.store(0, std::memory_order_release);
        }
    }
    void flush() override { console_->flush(); }
    void set_pattern(const std::string& pattern) override { console_->set_pattern(pattern); }
    void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override {
        console_->set_formatter(std::move(formatter));
    }

private:
    std::shared_ptr<spdlog::sinks::sink> console_;
    run_progress* progress_;
    std::atomic<std::uint32_t> records_{0};
};

}  // namespace kestrum::logging
