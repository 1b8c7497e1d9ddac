#pragma once

#include "handoff/contract.h"

#include <cstdint>

namespace kestrum::handoff {

// The worker's one way to publish into the section: the log sink for each
// record it writes, the console sink around each console write, the driver
// as it enters each step, the verdict writer as it writes the verdict and the
// crash report for the records it writes. A run without a watcher publishes
// nowhere. Nothing here takes a lock, allocates or blocks: the crash path uses
// it. The byte and record counts are added to, never stored, so a crash report
// that writes while a record of the logger's is still on its way (a writer
// that outlived the gate's drain) keeps them whole.
class publisher {
public:
    publisher() noexcept = default;
    explicit publisher(run_progress* progress) noexcept : progress_(progress) {}

    // Whether this process is a worker with a watcher to publish to.
    bool publishing() const noexcept { return progress_ != nullptr; }

    // The log: |bytes| are on their way, before the write, so that a write a
    // kill cuts short is still known as the worker's own.
    void log_writing(std::uint32_t bytes) const noexcept;
    // They went (|written| of them, 0 when the write failed) as |records| records.
    void log_written(std::uint32_t bytes, std::uint32_t written, std::uint32_t records) const noexcept;
    // The first failed write, with the records written before it.
    void log_failed(std::uint32_t error) const noexcept;
    bool log_failed_before() const noexcept;

    // Standard output: |record| is being written, 0 once it went.
    void console_writing(std::uint32_t record) const noexcept;

    void step(run_step entered) const noexcept;

    // The next record the log takes is the verdict, with |code| (0 for "Done.").
    void verdict(std::uint32_t code) const noexcept;
    // Whether the run's verdict is published and on its way or written: it
    // then stays the run's verdict, whatever happens after it.
    bool verdict_given() const noexcept;
    // A crash report of |records| records, the first one the crash record,
    // and, when it ends with the verdict, the verdict's |code|.
    void crash(std::uint32_t records, bool with_verdict, std::uint32_t code) const noexcept;

private:
    run_progress* progress_ = nullptr;
};

}  // namespace kestrum::handoff
