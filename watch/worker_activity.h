#pragma once

// What the watcher reads from the system while the worker runs.

#include <windows.h>

#include <cstdint>

namespace kestrum::watch {

// Milliseconds of the machine's time awake: sleep and hibernation do not
// count, so a laptop closed mid-run finds no worker ended as stuck.
std::uint64_t awake_milliseconds() noexcept;

// The worker's CPU time and I/O counts added up: it is working while this moves.
std::uint64_t activity_of(HANDLE process, HANDLE main_thread) noexcept;

// A selection in the console window holds every write to it.
bool console_selection_in_progress() noexcept;

// Whether this process's standard output ends inside a line, where a console
// can say; otherwise |record_being_written|, a worker that ended inside a
// console write, decides.
bool standard_output_mid_line(bool record_being_written) noexcept;

}  // namespace kestrum::watch
