#pragma once

// The Office group policies that decide over COM add-ins in PowerPoint, under
// Software\Policies\Microsoft\Office\<version>\PowerPoint, per user and per
// machine: written as records when set, and kept for the conclusion.

#include "reports/load_conclusion.h"
#include "platform/registry.h"

#include <windows.h>

#include <array>
#include <string>
#include <vector>

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Where Office's policies for a version are set, below |root|: the key is
// |key| followed by "<version>\PowerPoint".
struct policy_scope {
    HKEY root;
    const wchar_t* name;  // as the records name it
    const wchar_t* key;
};

// Cloud Policy first: Office's policy service writes it beside the group policies.
inline const std::array<policy_scope, 3> policy_scopes = {{
    {HKEY_CURRENT_USER, L"Cloud", L"Software\\Policies\\Microsoft\\Cloud\\Office\\"},
    {HKEY_CURRENT_USER, L"HKCU", L"Software\\Policies\\Microsoft\\Office\\"},
    {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Policies\\Microsoft\\Office\\"},
}};

// Writes "  Policy (HKCU): ..." then "(HKLM)" for every policy set in one of
// |versions| ("16.0"), and sets the policy facts of |facts|. HKLM is read in
// |machine_view|, the view PowerPoint reads.
void report_office_policies(spdlog::logger& log, platform::registry& registry,
                            const std::vector<std::wstring>& versions, platform::registry_view machine_view,
                            load_facts& facts);

}  // namespace kestrum::reports
