#pragma once

// Whatever ends the process the add-in runs in, something outside it has to
// see: an add-in can remove every handler installed inside its process, end
// the process itself, or overflow its stack past them all. So the run happens
// in a copy of this program, the worker, and this process watches it, as the
// system's own error reporting watches from outside.

#include <windows.h>

#include <optional>

namespace kestrum::logging {
class gated_logger;
}

namespace kestrum::crash {

struct watch_limits {
    DWORD progress_limit_ms;  // no new record for this long: the worker is stuck
    DWORD after_verdict_ms;   // a worker still there this long after its verdict is ended
};

// Starts the worker, which runs every check and writes every record through
// |log_file| (open for appending and reading), and waits for it. When the
// worker ends or is ended before its verdict, writes through |log| how the run
// ended and an error verdict. Returns the exit status for this process, or
// nothing when no worker could be started (the run then happens here).
std::optional<DWORD> run_watched_worker(logging::gated_logger& log, HANDLE log_file, const watch_limits& limits);

}  // namespace kestrum::crash
