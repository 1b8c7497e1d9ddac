#pragma once

#include "handoff/publisher.h"
#include "platform/clr_hosting.h"
#include "platform/com_runtime.h"
#include "platform/file_facts.h"
#include "platform/file_signature.h"
#include "platform/folder_listing.h"
#include "platform/local_clock.h"
#include "platform/process_context.h"
#include "platform/process_modules.h"
#include "platform/registry.h"
#include "platform/running_processes.h"

namespace spdlog {
class logger;
}

namespace kestrum::app {

// The platform the checks talk to: the real one in the program, stand-ins in tests.
struct platform_services {
    platform::com_runtime& com;
    platform::process_modules& process;
    platform::clr_hosting& clr;
    platform::registry& registry;
    platform::process_context& context;
    platform::file_facts& files;
    platform::folder_listing& folders;
    platform::local_clock& clock;
    platform::file_signatures& signatures;
    platform::running_processes& processes;
};

platform_services system_platform_services();

// Runs every check once, in order, and ends with the one-line verdict;
// publishes each step as it enters it, and the verdict.
void run_checks(spdlog::logger& log, const platform_services& platform, handoff::publisher publish = {});

}  // namespace kestrum::app
