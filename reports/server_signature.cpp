#include "reports/server_signature.h"

#include "reports/office_policies.h"
#include "reports/registry_value.h"
#include "logging/platform_text.h"

#include <softpub.h>
#include <wintrust.h>

#include <utility>
#include <vector>

namespace kestrum::reports {

server_signature read_server_signature(platform::file_signatures& signatures, const std::wstring& path) {
    const std::optional<platform::signature_check> check = signatures.check(path.c_str());
    if (!check) {
        return {};
    }
    if (check->trust == static_cast<LONG>(TRUST_E_NOSIGNATURE)) {
        return {signature_state::not_signed, {}, S_OK};
    }
    if (check->trust != ERROR_SUCCESS) {
        return {signature_state::not_valid, {}, static_cast<HRESULT>(check->trust)};
    }
    return {check->trusted_publisher ? signature_state::trusted : signature_state::not_trusted, check->signer, S_OK};
}

bool signature_asked_for(platform::registry& registry, const std::vector<std::wstring>& versions,
                         platform::registry_view machine_view) {
    for (const std::wstring& version : versions) {
        const std::wstring tail = version + L"\\PowerPoint\\Security";
        // The policies, then the user's own setting.
        std::vector<std::pair<HKEY, std::wstring>> scopes;
        scopes.reserve(policy_scopes.size() + 1);
        for (const policy_scope& scope : policy_scopes) {
            scopes.emplace_back(scope.root, scope.key + tail);
        }
        scopes.emplace_back(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\" + tail);
        for (const auto& [root, key] : scopes) {
            for (const wchar_t* name : {L"RequireAddinSig", L"NoTBPromptUnsignedAddin"}) {
                const registry_value value = read_registry_number(registry, root, key, machine_view, name);
                if (value.has_number() && value.number == 1) {
                    return true;
                }
            }
        }
    }
    return false;
}

std::wstring signature_text(const server_signature& signature) {
    switch (signature.state) {
        case signature_state::not_signed:
            return L"not signed";
        case signature_state::trusted:
            return L"signed by '" + logging::escape_platform_text(signature.subject) + L"', a trusted publisher";
        case signature_state::not_trusted:
            return L"signed by '" + logging::escape_platform_text(signature.subject) + L"', not a trusted publisher";
        case signature_state::not_valid:
            return fmt::format(L"signature not valid (HRESULT=0x{:08X})", static_cast<unsigned long>(signature.result));
        case signature_state::not_read:
            break;
    }
    return L"signature not read";
}

}  // namespace kestrum::reports
