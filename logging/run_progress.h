#pragma once

// What the worker tells the watcher about the records it writes. It lives in
// the memory section the two processes share, so publishing is a plain atomic
// store: no lock, no allocation, nothing that can block. The add-in's process
// maps it too, so it guards against a careless add-in and a forger that does
// not know it, and against nothing more.

#include <atomic>
#include <cstdint>

namespace kestrum::logging {

// Every member is zero until the worker writes its first record.
struct run_progress {
    std::atomic<std::uint32_t> log_records;        // records the log sink has taken, written or not
    std::atomic<std::uint32_t> log_pending_bytes;  // the record being written to the log now, 0 between records
    std::atomic<std::uint64_t> log_bytes;          // bytes of the log that the worker wrote
    std::atomic<std::uint32_t> verdict_record;     // the verdict's record number, 0 before it is written
    std::atomic<std::uint32_t> verdict_code;       // its code, 0 for "Done."
    std::atomic<std::uint32_t> verdict_status;     // the exit status the verdict implies
    std::atomic<std::uint32_t> log_failed_after;   // records in the log before its first failed write
    std::atomic<std::uint32_t> log_failed_error;   // that write's error, 0 while every write succeeded
    std::atomic<std::uint32_t> console_record;     // the record being written to standard output, 0 between writes
};

static_assert(std::atomic<std::uint32_t>::is_always_lock_free && std::atomic<std::uint64_t>::is_always_lock_free,
              "another process reads these: they must be plain memory");

}  // namespace kestrum::logging
