#include "reports/office_policies.h"

#include "reports/addin_prog_id.h"
#include "reports/trust_center.h"
#include "reports/registry_value.h"
#include "logging/platform_text.h"

#include <fmt/xchar.h>

#include <optional>

namespace kestrum::reports {
namespace {

constexpr DWORD switched_on = 1;

// A switch policy (a REG_DWORD that means something at 1): its record when
// set, and its setting when it is 0 or 1.
std::optional<bool> read_switch(std::vector<std::wstring>& records, platform::registry& registry,
                                const policy_scope& scope, const std::wstring& policy_key, platform::registry_view view,
                                const wchar_t* subkey, const wchar_t* name, const wchar_t* meaning) {
    const registry_value value = read_registry_number(registry, scope.root, policy_key + L"\\" + subkey, view, name);
    if (value.state == value_state::missing) {
        return std::nullopt;
    }
    if (value.has_number() && value.number == 0) {
        return false;
    }
    if (value.has_number() && value.number == switched_on) {
        records.push_back(fmt::format(L"  Policy ({}): {} ({}\\{} = 1)", scope.name, meaning, subkey, name));
        return true;
    }
    // Set, but to nothing the policy template defines: shown, and not counted.
    records.push_back(fmt::format(L"  Policy ({}): {}\\{} is {}{}", scope.name, subkey, name,
                                  describe_registry_value(value),
                                  value.has_number() ? L", not a documented value" : L""));
    return std::nullopt;
}

std::optional<bool> read_switch(std::vector<std::wstring>& records, platform::registry& registry,
                                const policy_scope& scope, const std::wstring& policy_key, platform::registry_view view,
                                const security_switch& setting) {
    return read_switch(records, registry, scope, policy_key, view, security_key, setting.name, setting.meaning);
}

// A scope that sets the switch on decides; one that sets it off decides
// unless another sets it on.
void count_switch(std::optional<bool> setting, trust_switch& decided) {
    if (setting) {
        decided.policy = decided.policy.value_or(false) || *setting;
    }
}

// The add-in's value in Resiliency\AddinList: REG_SZ "0", "1" or "2" as the
// policy template writes it, or the same as a REG_DWORD.
void read_addin_list(std::vector<std::wstring>& records, platform::registry& registry, const policy_scope& scope,
                     const std::wstring& policy_key, platform::registry_view view, load_facts& facts) {
    const std::wstring list_key = policy_key + L"\\Resiliency\\AddinList";
    const registry_value text = read_registry_text(registry, scope.root, list_key, view, addin_prog_id);
    std::optional<DWORD> setting;
    std::wstring shown;
    if (text.state == value_state::missing) {
        return;
    }
    if (text.has_text() && text.text.size() == 1 && text.text[0] >= L'0' && text.text[0] <= L'2') {
        setting = static_cast<DWORD>(text.text[0] - L'0');
    } else if (text.state == value_state::wrong_type && text.type == REG_DWORD) {
        const registry_value number = read_registry_number(registry, scope.root, list_key, view, addin_prog_id);
        shown = describe_registry_value(number);
        if (number.has_number() && number.number <= 2) {
            setting = number.number;
        }
    } else {
        shown = describe_registry_value(text);
    }
    constexpr const wchar_t* meanings[] = {L"this add-in is always disabled", L"this add-in is always enabled",
                                           L"the user decides for this add-in"};
    if (!setting) {
        records.push_back(fmt::format(L"  Policy ({}): Resiliency\\AddinList\\{} is {}, not a documented value",
                                      scope.name, addin_prog_id, shown));
        return;
    }
    records.push_back(fmt::format(L"  Policy ({}): {} (Resiliency\\AddinList\\{} = {})", scope.name, meanings[*setting],
                                  addin_prog_id, *setting));
    facts.listed_disabled = facts.listed_disabled || *setting == 0;
    facts.listed_enabled = facts.listed_enabled || *setting == 1;
    facts.listed_user_decides = facts.listed_user_decides || *setting == 2;
}

}  // namespace

std::vector<std::wstring> read_office_policies(platform::registry& registry, const std::vector<std::wstring>& versions,
                                               platform::registry_view machine_view, load_facts& facts) {
    std::vector<std::wstring> records;
    // Each scope's key of each version, in that order.
    struct versioned_scope : policy_scope {
        std::wstring subkey;
    };
    std::vector<versioned_scope> keys;
    for (const policy_scope& scope : policy_scopes) {
        for (const std::wstring& version : versions) {
            keys.push_back({scope, scope.key + version + L"\\PowerPoint"});
        }
    }
    for (const auto& [scope, opened] :
         scopes_with(registry, keys, machine_view,
                     [](const versioned_scope& place) -> const std::wstring& { return place.subkey; })) {
        const std::wstring& key = scope->subkey;
        if (opened != ERROR_SUCCESS) {
            records.push_back(fmt::format(L"  Policy ({}): {}: {}", scope->name, key, cannot_be_read(opened)));
            facts.unreadable_policy_keys.push_back(
                (scope->root == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\") + key);
            continue;
        }
        count_switch(
            read_switch(records, registry, *scope, key, machine_view, trust_center_switches[disable_all_addins]),
            switch_fact(facts, disable_all_addins));
        read_addin_list(records, registry, *scope, key, machine_view, facts);
        if (read_switch(records, registry, *scope, key, machine_view, L"Resiliency", L"RestrictToList",
                        L"add-ins not on the managed list are blocked")
                .value_or(false)) {
            facts.restricted_to_list = true;
        }
        count_switch(
            read_switch(records, registry, *scope, key, machine_view, trust_center_switches[require_addin_signature]),
            switch_fact(facts, require_addin_signature));
        count_switch(
            read_switch(records, registry, *scope, key, machine_view, trust_center_switches[no_prompt_for_unsigned]),
            switch_fact(facts, no_prompt_for_unsigned));
    }
    return records;
}

}  // namespace kestrum::reports
