#pragma once

// The layout of the memory section the watcher shares with its worker, the
// same for both editions: fixed-size members only.

#include "logging/run_progress.h"

#include <cstdint>

namespace kestrum::watch {

// Marks a section as one of ours, in this layout; a new layout takes a new mark.
inline constexpr std::uint64_t handoff_mark = 0x4B65737472756D32;  // "Kestrum2"

struct handoff_section {
    std::uint64_t mark;              // written by the watcher before the worker runs
    std::uint64_t log_file;          // a handle value, valid in the worker
    logging::run_progress progress;  // written by the worker, read by the watcher
};

}  // namespace kestrum::watch
