#pragma once

// Whether PowerPoint will try to load the add-in when it starts, from what
// the registry says: every reason it will not, or, where the registry leaves
// it open, every doubt; never a guess taken for an answer.

#include "reports/object_interfaces.h"
#include "reports/server_signature.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrum::reports {

// One of the add-in's entries with PowerPoint.
struct entry_facts {
    bool present = false;
    std::optional<DWORD> load_behavior;  // none when missing or not a REG_DWORD
};

// A Trust Center switch (a REG_DWORD under Security): a policy that sets it
// to 0 or 1, in any scope, decides; the user's own value counts only without.
struct trust_switch {
    std::optional<bool> policy;  // on when a scope sets 1, off when one sets only 0
    bool user = false;           // the user's Trust Center sets 1

    bool on() const noexcept { return policy.value_or(user); }
};

// A disabled item that carries the add-in's name but not its server's path.
struct doubtful_item {
    std::wstring name;
    std::wstring path;
};

struct load_facts {
    bool powerpoint_found = false;
    bool managed = false;  // registered through mscoree.dll, which is the file PowerPoint checks
    // Policies, from any scope they were read in.
    trust_switch disable_all;                          // Security\DisableAllAddins
    trust_switch require_signature;                    // Security\RequireAddinSig
    trust_switch no_prompt_for_unsigned;               // Security\NoTBPromptUnsignedAddin
    bool listed_disabled = false;                      // Resiliency\AddinList\<ProgID> = 0
    bool listed_enabled = false;                       // ... = 1
    bool listed_user_decides = false;                  // ... = 2
    bool restricted_to_list = false;                   // Resiliency\RestrictToList = 1
    std::vector<std::wstring> unreadable_policy_keys;  // as "HKEY_CURRENT_USER\..."
    entry_facts per_user;
    entry_facts per_machine;  // in the view PowerPoint reads
    entry_facts click_to_run;
    std::wstring other_view_entry_bits;  // "32" or "64" when the machine's entry is only in the other view
    bool in_disabled_items = false;
    std::vector<doubtful_item> doubtful_items;
    std::vector<std::wstring> partly_read_disabled_items;  // the Office versions whose items were not all read
    // The file PowerPoint checks (the server, or mscoree.dll for a .NET
    // add-in): its signature, read only when one is asked for.
    server_signature signature;
    object_interfaces object;  // what the created object answered; nothing without one

    // Whether PowerPoint is asked to load only signed add-ins: RequireAddinSig
    // or NoTBPromptUnsignedAddin is 1 in a policy scope or in the user's own
    // Trust Center, whatever another scope says. Only then is a signature
    // read: verifying one costs more than the whole section may take.
    bool signature_asked() const noexcept {
        return require_signature.policy.value_or(false) || require_signature.user ||
               no_prompt_for_unsigned.policy.value_or(false) || no_prompt_for_unsigned.user;
    }
};

// The conclusion's text, one of four forms: PowerPoint not found; "will try";
// "will not try ...: {reasons}."; "cannot be told here: {doubts}.".
std::wstring load_conclusion(const load_facts& facts);

}  // namespace kestrum::reports
