#pragma once

#include "handoff/contract.h"

#include <cstdint>

namespace kestrum::handoff {

// What the worker published, read once by the watcher.
struct published_progress {
    std::uint32_t log_records = 0;
    std::uint32_t log_pending_bytes = 0;
    std::uint64_t log_bytes = 0;
    std::uint32_t verdict_record = 0;
    std::uint32_t verdict_code = 0;
    std::uint32_t verdict_status = 0;
    std::uint32_t log_failed_after = 0;
    std::uint32_t log_failed_error = 0;
    std::uint32_t console_record = 0;
    run_step step = run_step::creating_addin;
    std::uint32_t crash_record = 0;

    // The verdict's record was written, as far as the log sink knows.
    bool verdict_taken() const noexcept { return verdict_record != 0 && log_records >= verdict_record; }

    bool operator==(const published_progress&) const = default;
};

published_progress read_published(const run_progress& progress) noexcept;

}  // namespace kestrum::handoff
