#pragma once

// Whether PowerPoint will try to load the add-in when it starts, from what
// the registry says, and the first reason it will not.

#include "reports/object_interfaces.h"
#include "reports/server_signature.h"

#include <windows.h>

#include <optional>
#include <string>

namespace kestrum::reports {

// One of the add-in's entries with PowerPoint.
struct entry_facts {
    bool present = false;
    std::optional<DWORD> load_behavior;  // none when missing or not a REG_DWORD
};

struct load_facts {
    bool powerpoint_found = false;
    // Policies, from any scope they were read in.
    bool all_addins_disabled = false;  // Security\DisableAllAddins = 1
    bool listed_disabled = false;      // Resiliency\AddinList\<ProgID> = 0
    bool listed_enabled = false;       // ... = 1
    bool listed_user_decides = false;  // ... = 2
    bool restricted_to_list = false;   // Resiliency\RestrictToList = 1
    entry_facts per_user;
    entry_facts per_machine;  // in the view PowerPoint reads
    entry_facts click_to_run;
    bool in_disabled_items = false;
    // The file PowerPoint checks (the server, or mscoree.dll for a .NET
    // add-in): its signature, read only when one is asked for.
    std::optional<server_signature> checked_signature;
    object_interfaces object;
};

// The LoadBehavior that counts: the per-user entry's when it has a number,
// else the machine's, else Click-to-Run's; none when it is missing or not a
// number wherever it counts. PowerPoint tries to load at startup at 3 (0x2
// with 0x1) and 16.
std::optional<DWORD> effective_load_behavior(const load_facts& facts);

// The conclusion's text: "PowerPoint will try to load the add-in when it
// starts.", "PowerPoint will not try ...: {reason}." or, without PowerPoint,
// that it is not known.
std::wstring load_conclusion(const load_facts& facts);

}  // namespace kestrum::reports
