#include "reports/load_conclusion.h"

#include "logging/platform_text.h"

#include <array>
#include <algorithm>

namespace kestrum::reports {
namespace {

using logging::escape_platform_text;

// The values Office documents; 3 and 16 load at startup. Office clears 0x1 of
// an add-in that failed to load, and 2 is then a soft disable.
constexpr std::array<DWORD, 7> documented_load_behaviors = {0, 1, 2, 3, 8, 9, 16};
constexpr std::array<DWORD, 2> loads_at_startup = {3, 16};
// The values the COM Add-ins dialog lists as inactive, where the user can connect it.
constexpr std::array<DWORD, 3> listed_inactive = {0, 2, 8};

template <std::size_t size>
bool one_of(const std::array<DWORD, size>& values, DWORD value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// The LoadBehavior that counts, or the doubts that leave it open.
struct load_behavior_reading {
    std::optional<DWORD> value;
    std::optional<DWORD> machine_overridden;  // the per-machine number a different per-user one overrides
    std::vector<std::wstring> doubts;
};

// The per-user entry's number decides; without one, PowerPoint's choice is
// not documented. The machine's and Click-to-Run's entries otherwise, and
// which of them wins when they differ is not documented either.
load_behavior_reading read_load_behavior(const load_facts& facts) {
    load_behavior_reading reading;
    const entry_facts& user = facts.per_user;
    const entry_facts& machine = facts.per_machine;
    const entry_facts& click_to_run = facts.click_to_run;
    if (user.present && user.load_behavior) {
        reading.value = user.load_behavior;
        if (machine.present && machine.load_behavior && *machine.load_behavior != *user.load_behavior) {
            reading.machine_overridden = machine.load_behavior;
        }
        return reading;
    }
    if (machine.present && machine.load_behavior && click_to_run.present && click_to_run.load_behavior &&
        *machine.load_behavior != *click_to_run.load_behavior) {
        reading.doubts.push_back(L"its per-machine LoadBehavior is " + std::to_wstring(*machine.load_behavior) +
                                 L" but Click-to-Run's copy says " + std::to_wstring(*click_to_run.load_behavior) +
                                 L", and which one PowerPoint reads is not documented");
    }
    if (user.present) {
        reading.doubts.emplace_back(
            L"its per-user entry has no LoadBehavior number, and what PowerPoint does then is not documented");
    }
    if (!reading.doubts.empty()) {
        return reading;
    }
    reading.value = machine.present ? machine.load_behavior : click_to_run.load_behavior;
    if (reading.value && !one_of(documented_load_behaviors, *reading.value)) {
        reading.doubts.push_back(L"its LoadBehavior " + std::to_wstring(*reading.value) +
                                 L" is not a documented value");
        reading.value.reset();
    }
    return reading;
}

std::wstring load_behavior_reason(const load_behavior_reading& reading) {
    std::wstring reason = L"its LoadBehavior is " + std::to_wstring(*reading.value);
    if (reading.machine_overridden) {
        reason += L" (per user, over " + std::to_wstring(*reading.machine_overridden) + L" per machine)";
    }
    if (one_of(listed_inactive, *reading.value)) {
        reason += L"; it is listed as inactive under File > Options > Add-ins > Manage: COM Add-ins";
    }
    return reason;
}

// Why a required signature fails, or empty when it does not or is not known.
std::wstring signature_reason(const load_facts& facts) {
    const std::wstring file = facts.managed ? L"mscoree.dll" : L"its server";
    const std::wstring required = L"add-ins must be signed by a trusted publisher and " + file;
    switch (facts.signature.state) {
        case signature_state::not_signed:
            return required + L" is not signed";
        case signature_state::not_valid:
            return required + L" has a signature that is not valid";
        case signature_state::not_trusted:
            return required + L" is signed by '" + escape_platform_text(facts.signature.subject) +
                   L"', who is not a trusted publisher";
        case signature_state::not_read:
        case signature_state::trusted:
            break;
    }
    return {};
}

bool registered(const load_facts& facts) {
    return facts.per_user.present || facts.per_machine.present || facts.click_to_run.present;
}

// Every reason PowerPoint will not try to load it, in the order the guide
// explains them.
std::vector<std::wstring> reasons(const load_facts& facts, const load_behavior_reading& load_behavior) {
    std::vector<std::wstring> found;
    if (facts.disable_all.policy.value_or(false)) {
        found.emplace_back(L"a policy disables all add-ins");
    } else if (facts.disable_all.on()) {
        found.emplace_back(L"the user disabled all add-ins in the Trust Center");
    }
    if (facts.listed_disabled) {
        found.emplace_back(L"a policy disables it");
    }
    if (facts.restricted_to_list && !facts.listed_enabled && !facts.listed_user_decides) {
        found.emplace_back(L"a policy blocks add-ins that are not on its managed list");
    }
    if (facts.require_signature.on()) {
        if (std::wstring reason = signature_reason(facts); !reason.empty()) {
            found.push_back(std::move(reason));
        }
    }
    if (!registered(facts)) {
        found.push_back(
            L"it is not registered with PowerPoint" +
            (facts.other_view_entry_bits.empty()
                 ? std::wstring()
                 : L" (its per-machine entry is in the " + facts.other_view_entry_bits + L"-bit registry view only)"));
    }
    // An add-in the policy always enables is neither disabled nor held back.
    if (!facts.listed_enabled) {
        if (facts.in_disabled_items) {
            found.emplace_back(
                L"it is in PowerPoint's disabled items (File > Options > Add-ins > Manage: Disabled Items)");
        }
        if (registered(facts) && load_behavior.doubts.empty()) {
            if (!load_behavior.value) {
                found.emplace_back(L"its LoadBehavior is missing or not a number");
            } else if (!one_of(loads_at_startup, *load_behavior.value)) {
                found.push_back(load_behavior_reason(load_behavior));
            }
        }
    }
    if (facts.object.extensibility && !facts.object.connects()) {
        found.emplace_back(L"its object does not implement IDTExtensibility2");
    }
    return found;
}

// Every reason the registry leaves the answer open.
std::vector<std::wstring> doubts(const load_facts& facts, const load_behavior_reading& load_behavior) {
    std::vector<std::wstring> found;
    if (!facts.listed_enabled) {
        found = load_behavior.doubts;
        for (const doubtful_item& item : facts.doubtful_items) {
            found.push_back(L"the disabled item '" + escape_platform_text(item.name) + L"' (" +
                            escape_platform_text(item.path) + L") may be this add-in");
        }
        for (const std::wstring& version : facts.partly_read_disabled_items) {
            found.push_back(L"the disabled items of PowerPoint " + version + L" could not all be read");
        }
    }
    for (const std::wstring& key : facts.unreadable_policy_keys) {
        found.push_back(L"the policies under " + escape_platform_text(key) + L" could not be read");
    }
    return found;
}

std::wstring joined(const std::vector<std::wstring>& parts) {
    std::wstring text;
    for (const std::wstring& part : parts) {
        text += (text.empty() ? L"" : L"; ") + part;
    }
    return text;
}

}  // namespace

std::wstring load_conclusion(const load_facts& facts) {
    if (!facts.powerpoint_found) {
        return L"PowerPoint was not found, so whether it loads the add-in is not known.";
    }
    const load_behavior_reading load_behavior = read_load_behavior(facts);
    if (const std::vector<std::wstring> found = reasons(facts, load_behavior); !found.empty()) {
        return L"PowerPoint will not try to load the add-in when it starts: " + joined(found) + L".";
    }
    if (const std::vector<std::wstring> found = doubts(facts, load_behavior); !found.empty()) {
        return L"Whether PowerPoint loads the add-in when it starts cannot be told here: " + joined(found) + L".";
    }
    return L"PowerPoint will try to load the add-in when it starts.";
}

}  // namespace kestrum::reports
