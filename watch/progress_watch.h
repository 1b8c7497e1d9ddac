#pragma once

// Whether a worker that has written no new record for a while is stuck, or
// working, or waiting on whoever reads its standard output. Pure: the watcher
// hands in what it saw, with the time, and does what the answer says.

#include "watch/watcher.h"

#include <cstdint>

namespace kestrum::watch {

struct progress_sample {
    std::uint32_t records = 0;         // records the worker has written
    std::uint32_t console_record = 0;  // the record it is writing to standard output, 0 for none
    std::uint64_t activity = 0;        // its CPU time and I/O counts, added up: anything that moves
    bool console_selection = false;    // a selection in the console holds every write to it
};

enum class progress_call_kind {
    wait,            // nothing to do
    still_working,   // say that the worker is silent but working
    reader_waiting,  // say that the reader of standard output has not taken a record
    stuck,           // end the worker
};

struct progress_call {
    progress_call_kind kind = progress_call_kind::wait;
    std::uint64_t seconds = 0;  // without a new record, or waiting for the reader
    std::uint32_t record = 0;   // the record the reader has not taken
};

class progress_watch {
public:
    progress_watch(const watch_limits& limits, std::uint64_t now_ms) noexcept
        : limits_(limits),
          last_record_ms_(now_ms),
          last_activity_ms_(now_ms),
          next_note_ms_(limits.progress_limit_ms) {}

    progress_call observe(std::uint64_t now_ms, const progress_sample& sample) noexcept;

private:
    watch_limits limits_;
    std::uint32_t records_ = 0;
    std::uint64_t last_record_ms_;
    std::uint64_t activity_ = 0;
    std::uint64_t last_activity_ms_;
    std::uint64_t next_note_ms_;  // silence after which standard error hears of it next
    std::uint32_t console_record_ = 0;
    std::uint64_t console_since_ms_ = 0;
    bool console_said_ = false;
};

}  // namespace kestrum::watch
