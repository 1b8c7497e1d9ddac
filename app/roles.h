#pragma once

// The three roles a kestrum process can play.

#include "logging/record_sink.h"
#include "watch/watcher.h"
#include "watch/worker_handoff.h"

#include <chrono>

namespace kestrum::app {

// Started by a watcher: runs the checks into the log it was handed, through
// |write|, and publishes what it does for the watcher.
int run_as_worker(watch::handed_over_log& handed, logging::log_writer write);

// Claims the run's log and starts a worker to run the checks, watching it;
// runs them here, alone, when no worker can be started.
int run_as_watcher(std::chrono::system_clock::time_point started, const watch::watch_limits& limits);

// Claims the run's log and runs the checks in this process.
int run_alone(std::chrono::system_clock::time_point started);

}  // namespace kestrum::app
