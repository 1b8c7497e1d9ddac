#pragma once

#include <spdlog/formatter.h>
#include <spdlog/pattern_formatter.h>

#include <chrono>
#include <memory>
#include <string>

namespace kestrum::logging {

// The log file's records, byte for byte as spdlog's pattern formatter writes
// them with |pattern| ("[%Y-%m-%d %H:%M:%S.%e %z][%l] %v"), at a fraction of
// the cost: the pattern formatter writes the date, the time and the offset
// field by field for every record, this one once a second. A listing of
// hundreds of thousands of assemblies then spends its time writing, not
// formatting.
class file_record_formatter final : public spdlog::formatter {
public:
    explicit file_record_formatter(std::string pattern);

    void format(const spdlog::details::log_msg& message, spdlog::memory_buf_t& out) override;
    std::unique_ptr<spdlog::formatter> clone() const override;

private:
    std::string pattern_;
    spdlog::pattern_formatter whole_record_;  // writes the first record of each second
    std::chrono::seconds second_{-1};
    std::string before_milliseconds_;  // "[2026-12-09 21:05:07."
    std::string after_milliseconds_;   // " +00:00]["
};

}  // namespace kestrum::logging
