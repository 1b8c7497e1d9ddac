#pragma once

// The add-in settings of PowerPoint's Trust Center: DWORDs under Security,
// which the user's own Trust Center writes below
// Software\Microsoft\Office\<version>\PowerPoint and the policies below
// Software\Policies\... under the same names. A policy that sets one decides
// over the user's.

#include "reports/load_conclusion.h"
#include "platform/registry.h"

#include <array>
#include <string>
#include <vector>

namespace kestrum::reports {

struct security_switch {
    const wchar_t* name;
    const wchar_t* meaning;  // what it does at 1
};

inline constexpr const wchar_t* security_key = L"Security";
enum security_switch_index { disable_all_addins, require_addin_signature, no_prompt_for_unsigned };

// The fact each of trust_center_switches below sets, by its index.
inline trust_switch& switch_fact(load_facts& facts, std::size_t index) {
    constexpr std::array<trust_switch load_facts::*, 3> facts_of = {
        &load_facts::disable_all, &load_facts::require_signature, &load_facts::no_prompt_for_unsigned};
    return facts.*facts_of.at(index);
}

inline constexpr std::array<security_switch, 3> trust_center_switches = {{
    {L"DisableAllAddins", L"all add-ins are disabled"},
    {L"RequireAddinSig", L"add-ins must be signed by a trusted publisher"},
    // Applies with RequireAddinSig only: the Trust Bar no longer offers to enable them.
    {L"NoTBPromptUnsignedAddin", L"unsigned add-ins are disabled without a prompt"},
}};

// Keeps the user's settings of |versions| ("16.0") in |facts|, and returns
// "  Trust Center (this user): {meaning} (Security\{name} = 1)" for each
// switch the user set, for the caller to write where they belong.
std::vector<std::wstring> read_trust_center(platform::registry& registry, const std::vector<std::wstring>& versions,
                                            platform::registry_view view, load_facts& facts);

}  // namespace kestrum::reports
