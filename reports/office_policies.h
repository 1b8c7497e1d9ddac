#pragma once

// The Office group policies that decide over COM add-ins in PowerPoint, under
// Software\Policies\Microsoft\Office\<version>\PowerPoint, per user and per
// machine: written as records when set, and kept for the conclusion.

#include "reports/load_conclusion.h"
#include "platform/registry.h"

#include <string>
#include <vector>

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Writes "  Policy (HKCU): ..." then "(HKLM)" for every policy set in one of
// |versions| ("16.0"), and sets the policy facts of |facts|. HKLM is read in
// |machine_view|, the view PowerPoint reads.
void report_office_policies(spdlog::logger& log, platform::registry& registry,
                            const std::vector<std::wstring>& versions, platform::registry_view machine_view,
                            load_facts& facts);

}  // namespace kestrum::reports
