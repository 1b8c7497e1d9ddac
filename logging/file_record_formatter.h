#pragma once

#include "logging/record_layout.h"

#include <spdlog/formatter.h>

#include <array>
#include <chrono>
#include <memory>

namespace kestrum::logging {

// The log file's records, in the one record layout, byte for byte as spdlog's
// pattern formatter writes them with "[%Y-%m-%d %H:%M:%S.%e %z][%l] %v", at a
// fraction of the cost: the local date, time and offset are looked up once a
// second, and a record is its stamp's milliseconds and one copy of each piece.
// A listing of hundreds of thousands of assemblies then spends its time
// writing, not formatting.
class file_record_formatter final : public spdlog::formatter {
public:
    void format(const spdlog::details::log_msg& message, spdlog::memory_buf_t& out) override;
    std::unique_ptr<spdlog::formatter> clone() const override;

private:
    std::chrono::seconds second_{-1};
    std::array<char, stamp_size> stamp_{};
};

}  // namespace kestrum::logging
