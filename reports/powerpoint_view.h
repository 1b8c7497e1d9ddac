#pragma once

#include "reports/addin_registration.h"
#include "platform/file_facts.h"
#include "platform/file_signature.h"
#include "platform/process_context.h"
#include "platform/registry.h"
#include "platform/running_processes.h"
#include "reports/disabled_items.h"
#include "reports/object_interfaces.h"

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Writes how PowerPoint sees "Pexlo.PowerPoint.Addin": where PowerPoint is
// and its bitness, Office's Click-to-Run, the add-in's entries with it, its
// server's version and signature, the disabled items and policies that
// concern it, whether PowerPoint runs now, whether the created object
// (|object|) can be connected and, last, whether PowerPoint will try to load
// it. Reads the registry, the process list, and files' headers, version
// resources and signatures only; reports only in info records and never
// touches the run status. Returns the add-in as PowerPoint would find it.
addin_identity report_powerpoint_view(spdlog::logger& log, platform::registry& registry,
                                      platform::process_context& context, platform::file_facts& files,
                                      platform::file_signatures& signatures, platform::running_processes& processes,
                                      const addin_registration& registration, const object_interfaces& object);

}  // namespace kestrum::reports
