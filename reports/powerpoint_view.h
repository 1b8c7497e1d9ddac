#pragma once

#include "reports/addin_registration.h"
#include "platform/file_facts.h"
#include "platform/process_context.h"
#include "platform/registry.h"
#include "reports/disabled_items.h"

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Writes how PowerPoint sees "Pexlo.PowerPoint.Addin": where PowerPoint is
// and its bitness, the add-in's entries with it, its server's version, the
// disabled items and policies that concern it, and, last, whether PowerPoint
// will try to load it. Reads the registry and two files' headers and version
// resources only; reports only in info records and never touches the run
// status. Returns the add-in as PowerPoint would find it.
addin_identity report_powerpoint_view(spdlog::logger& log, platform::registry& registry, platform::process_context& context,
                                      platform::file_facts& files, const addin_registration& registration);

}  // namespace kestrum::reports
