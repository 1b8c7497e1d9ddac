#include "reports/load_conclusion.h"

namespace kestrum::reports {
namespace {

// Load at startup (0x2) and connected (0x1): Office clears 0x1 of an add-in
// that failed to load, and 2 is then a soft disable, not loaded at startup.
constexpr DWORD loads_at_startup = 0x3;
constexpr DWORD loads_once_then_on_demand = 16;

// Why PowerPoint will not try to load it, the first reason that applies, or
// empty when none does.
std::wstring first_reason(const load_facts& facts) {
    if (facts.all_addins_disabled) {
        return L"a policy disables all add-ins";
    }
    if (facts.listed_disabled) {
        return L"a policy disables it";
    }
    if (facts.restricted_to_list && !facts.listed_enabled && !facts.listed_user_decides) {
        return L"a policy blocks add-ins that are not on its managed list";
    }
    if (!facts.per_user.present && !facts.per_machine.present && !facts.click_to_run.present) {
        return L"it is not registered with PowerPoint";
    }
    // An add-in the policy always enables is neither disabled nor held back.
    if (facts.listed_enabled) {
        return {};
    }
    if (facts.in_disabled_items) {
        return L"it is in PowerPoint's disabled items (File > Options > Add-ins > Manage: Disabled Items)";
    }
    const std::optional<DWORD> load_behavior = effective_load_behavior(facts);
    if (!load_behavior) {
        return L"its LoadBehavior is missing or not a number";
    }
    if ((*load_behavior & loads_at_startup) != loads_at_startup && *load_behavior != loads_once_then_on_demand) {
        return L"its LoadBehavior is " + std::to_wstring(*load_behavior);
    }
    return {};
}

}  // namespace

std::optional<DWORD> effective_load_behavior(const load_facts& facts) {
    if (facts.per_user.present && facts.per_user.load_behavior) {
        return facts.per_user.load_behavior;
    }
    if (facts.per_machine.present) {
        return facts.per_machine.load_behavior;
    }
    if (facts.click_to_run.present) {
        return facts.click_to_run.load_behavior;
    }
    return std::nullopt;
}

std::wstring load_conclusion(const load_facts& facts) {
    if (!facts.powerpoint_found) {
        return L"PowerPoint was not found, so whether it loads the add-in is not known.";
    }
    const std::wstring reason = first_reason(facts);
    if (reason.empty()) {
        return L"PowerPoint will try to load the add-in when it starts.";
    }
    return L"PowerPoint will not try to load the add-in when it starts: " + reason + L".";
}

}  // namespace kestrum::reports
