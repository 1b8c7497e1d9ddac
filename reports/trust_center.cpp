#include "reports/trust_center.h"

#include "reports/registry_value.h"

#include <fmt/xchar.h>

namespace kestrum::reports {

std::vector<std::wstring> read_trust_center(platform::registry& registry, const std::vector<std::wstring>& versions,
                                            platform::registry_view view, load_facts& facts) {
    constexpr DWORD switched_on = 1;
    std::vector<std::wstring> records;
    for (const std::wstring& version : versions) {
        const std::wstring key =
            L"Software\\Microsoft\\Office\\" + version + L"\\PowerPoint\\" + std::wstring(security_key);
        for (std::size_t index = 0; index < trust_center_switches.size(); ++index) {
            const security_switch& setting = trust_center_switches.at(index);
            const registry_value value = read_registry_number(registry, HKEY_CURRENT_USER, key, view, setting.name);
            if (!value.has_number() || value.number != switched_on) {
                continue;
            }
            records.push_back(fmt::format(L"  Trust Center (this user): {} ({}\\{} = 1)", setting.meaning, security_key,
                                          setting.name));
            switch_fact(facts, index).user = true;
        }
    }
    return records;
}

}  // namespace kestrum::reports
