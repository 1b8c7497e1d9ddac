#pragma once

// How the watcher tells the copy of kestrum it starts that it is the worker,
// and hands it the log file. Nothing a user can type takes part: the watcher
// leaves a named memory section keyed by the worker's process ID before the
// worker runs a single instruction, and the worker looks for its own. The
// worker keeps it mapped and publishes there what it writes.

#include "handoff/contract.h"
#include "platform/unique_resource.h"

#include <windows.h>

#include <optional>

namespace kestrum::watch {

struct mapped_view_traits {
    using type = void*;
    static bool holds(void* view) noexcept { return view != nullptr; }
    static void release(void* view) noexcept { ::UnmapViewOfFile(view); }
};
using unique_view = platform::unique_resource<mapped_view_traits>;

// Held by the watcher for as long as the worker runs.
class worker_handoff {
public:
    // Publishes |log_file|, a handle the worker inherits, for the suspended
    // process |worker_id|. Empty when the section cannot be made.
    static std::optional<worker_handoff> publish(DWORD worker_id, HANDLE log_file);

    // What the worker has published so far.
    const handoff::run_progress& progress() const noexcept;

private:
    worker_handoff(platform::unique_handle section, unique_view view) noexcept
        : section_(std::move(section)), view_(std::move(view)) {}

    platform::unique_handle section_;
    unique_view view_;
};

// What the worker is handed: the log file (no handle when what came is not an
// open file) and where it publishes its progress.
struct handed_over_log {
    platform::unique_handle file;
    unique_view view;
    handoff::run_progress* progress = nullptr;
};

// Empty in a process that no watcher started.
std::optional<handed_over_log> log_file_handed_to_this_process();

}  // namespace kestrum::watch
