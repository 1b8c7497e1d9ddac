#pragma once

// Whatever ends the process the add-in runs in, something outside it has to
// see: an add-in can remove every handler installed inside its process, end
// the process itself, or overflow its stack past them all. So the run happens
// in a copy of this program, the worker, and this process watches it, as the
// system's own error reporting watches from outside.

#include "watch/run_ending.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrum::watch {

struct watch_limits {
    DWORD progress_limit_ms;     // no new record and nothing moving for this long: the worker is stuck
    DWORD after_verdict_ms;      // a worker still there this long after its verdict is ended
    DWORD working_allowance_ms;  // no new record for this long, however busy: the worker is stuck
    DWORD working_note_ms;       // how often standard error hears of a silent worker that is busy
};

struct watch_outcome {
    DWORD exit_status = 0;
    // What the watcher adds: how the run ended, when the worker ended or was
    // ended before its verdict, or a verdict the worker did not write; the
    // verdict last.
    std::vector<watcher_record> records;
};

// Starts the worker, which runs every check and writes every record through
// |log_file| (open for appending and reading), and waits for it. Nothing when
// no worker could be started: the run then happens here.
std::optional<watch_outcome> run_watched_worker(HANDLE log_file, const watch_limits& limits);

}  // namespace kestrum::watch
