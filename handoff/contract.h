#pragma once

// What the worker and the watcher share: the layout of the memory section
// between them and every fact the worker publishes there. Each fact is
// published by the code that knows it, through the publisher, and read by the
// watcher, through the reader; nobody learns one by reading a record's text.
//
// The section is plain atomics, so publishing takes no lock, allocates
// nothing and cannot block. The add-in's process maps it too, so it guards
// against a careless add-in and a forger that does not know it, and against
// nothing more. Fixed-size members only: the same layout for both editions.

#include <atomic>
#include <cstdint>

namespace kestrum::handoff {

// The steps of a run that the watcher names when it ends a worker that hangs.
enum class run_step : std::uint32_t {
    creating_addin = 0,  // until the activation returned
    listing_modules,
    listing_assemblies,  // and releasing the add-in
    // The read-only reports: they read files and folders that may sit on a
    // share that does not answer, which is no fault of the add-in's.
    writing_reports,
};

// Every member is zero until the worker publishes it.
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
    std::atomic<std::uint32_t> step;               // the run_step the run is in
    std::atomic<std::uint32_t> crash_record;       // the crash report's record number, 0 without a crash
};

static_assert(std::atomic<std::uint32_t>::is_always_lock_free && std::atomic<std::uint64_t>::is_always_lock_free,
              "another process reads these: they must be plain memory");

// Marks a section as one of ours, in this layout; a new layout takes a new mark.
inline constexpr std::uint64_t section_mark = 0x4B65737472756D33;  // "Kestrum3"

struct section {
    std::uint64_t mark;      // written by the watcher before the worker runs
    std::uint64_t log_file;  // a handle value, valid in the worker
    run_progress progress;   // written by the worker, read by the watcher
};

}  // namespace kestrum::handoff
