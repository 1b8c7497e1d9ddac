#pragma once

// The Office group policies that decide over COM add-ins in PowerPoint, under
// Software\Policies\Microsoft\Office\<version>\PowerPoint, per user and per
// machine: read into records for those set, and kept for the conclusion.

#include "reports/load_conclusion.h"
#include "platform/registry.h"

#include <windows.h>

#include <array>
#include <string>
#include <vector>

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

// Sets the policy facts of |facts| from every policy set in one of
// |versions| ("16.0"), and returns their records, "  Policy (HKCU): ..." then
// "(HKLM)", for the caller to write where they belong: the facts decide
// records written before them. HKLM is read in |machine_view|, the view
// PowerPoint reads.
std::vector<std::wstring> read_office_policies(platform::registry& registry, const std::vector<std::wstring>& versions,
                                               platform::registry_view machine_view, load_facts& facts);

}  // namespace kestrum::reports
