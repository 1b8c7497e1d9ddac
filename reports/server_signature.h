#pragma once

// The signature of a file PowerPoint checks before it loads an add-in, when
// a policy or the Trust Center asks for add-ins signed by a trusted publisher.

#include "platform/file_signature.h"
#include "platform/registry.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kestrum::reports {

enum class signature_state { not_signed, trusted, not_trusted, not_valid, not_read };

struct server_signature {
    signature_state state = signature_state::not_read;
    std::wstring subject;   // the signer, as the certificate names it; trusted and not_trusted only
    HRESULT result = S_OK;  // why it does not verify; not_valid only
};

// The file's signature as |signatures| finds it: "trusted" only when it
// verifies and its signer is a trusted publisher.
server_signature read_server_signature(platform::file_signatures& signatures, const std::wstring& path);

// Whether PowerPoint is asked to load only signed add-ins: RequireAddinSig
// or NoTBPromptUnsignedAddin is 1 under Security, in a policy scope (Cloud,
// HKCU, HKLM in |machine_view|) or in the user's own Trust Center, for one
// of |versions| ("16.0"). Only then is a signature read: verifying one
// costs more than the whole section may take.
bool signature_asked_for(platform::registry& registry, const std::vector<std::wstring>& versions,
                         platform::registry_view machine_view);

// "not signed", "signed by '{subject}', a trusted publisher", "signed by
// '{subject}', not a trusted publisher", "signature not valid
// (HRESULT=0x{:08X})" or "signature not read"; the subject escaped as
// platform text.
std::wstring signature_text(const server_signature& signature);

}  // namespace kestrum::reports
