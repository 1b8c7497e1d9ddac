#pragma once

#include "logging/record_sink.h"
#include "watch/watcher.h"

#include <windows.h>

namespace kestrum::app {

// What a build of the program chooses: the program's own choices, or a test
// build's, each defined in a source file of its own.
struct build_choices {
    watch::watch_limits limits;
    logging::log_writer worker_log_writer;
};

build_choices this_build() noexcept;

// The watcher's limits around a progress limit of |progress_limit_seconds|.
constexpr watch::watch_limits limits_for(DWORD progress_limit_seconds) noexcept {
    // How long a worker that has written its verdict may take to end: its
    // exit can only hang on a lock that a thread killed at exit still holds.
    constexpr DWORD after_verdict_ms = 5000;
    constexpr DWORD milliseconds_per_second = 1000;
    // A worker that writes nothing but keeps its CPU or disk busy is given
    // five times the limit (first starts, network time-outs); standard error
    // hears of it every half limit.
    constexpr DWORD working_allowance_limits = 5;
    constexpr DWORD working_notes_per_limit = 2;
    const DWORD progress_limit_ms = progress_limit_seconds * milliseconds_per_second;
    return {progress_limit_ms, after_verdict_ms, working_allowance_limits * progress_limit_ms,
            progress_limit_ms / working_notes_per_limit};
}

}  // namespace kestrum::app
