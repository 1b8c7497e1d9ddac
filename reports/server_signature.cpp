#include "reports/server_signature.h"

#include "logging/platform_text.h"

#include <softpub.h>
#include <wintrust.h>

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
