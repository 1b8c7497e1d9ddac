#pragma once

// How the watcher tells the copy of kestrum it starts that it is the worker,
// and hands it the log file. Nothing a user can type takes part: the watcher
// leaves a named memory section keyed by the worker's process ID before the
// worker runs a single instruction, and the worker looks for its own.

#include "platform/unique_resource.h"

#include <windows.h>

#include <optional>

namespace kestrum::watch {

// Held by the watcher for as long as the worker runs.
class worker_handoff {
public:
    // Publishes |log_file|, a handle the worker inherits, for the suspended
    // process |worker_id|. Empty when the section cannot be made.
    static std::optional<worker_handoff> publish(DWORD worker_id, HANDLE log_file);

private:
    explicit worker_handoff(platform::unique_handle section) noexcept : section_(std::move(section)) {}

    platform::unique_handle section_;
};

// Empty in a process that no watcher started. In the worker: the log file the
// watcher handed over, or no handle when what came is not an open file.
std::optional<platform::unique_handle> log_file_handed_to_this_process();

}  // namespace kestrum::watch
