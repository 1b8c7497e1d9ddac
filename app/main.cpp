// Pexlo Kestrum: checks that the Pexlo PowerPoint add-in can be created in
// this process and records what it brought in. Takes no input of any kind.

#include "app/build_choices.h"
#include "app/roles.h"
#include "watch/worker_handoff.h"

#include <chrono>
#include <optional>

int main() {
    const auto started = std::chrono::system_clock::now();
    const kestrum::app::build_choices build = kestrum::app::this_build();

    // The section stays mapped for the whole run: the worker publishes there.
    std::optional<kestrum::watch::handed_over_log> handed = kestrum::watch::log_file_handed_to_this_process();
    if (handed && handed->file) {
        return kestrum::app::run_as_worker(*handed, build.worker_log_writer);
    }
    // A worker whose handover failed runs the checks itself rather than start
    // a worker of its own.
    if (handed) {
        return kestrum::app::run_alone(started);
    }
    return kestrum::app::run_as_watcher(started, build.limits);
}
