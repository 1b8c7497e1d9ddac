#pragma once

// The signature of a file PowerPoint checks before it loads an add-in, when
// a policy or the Trust Center asks for add-ins signed by a trusted publisher.

#include "platform/file_signature.h"

#include <windows.h>

#include <string>

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

// "not signed", "signed by '{subject}', a trusted publisher", "signed by
// '{subject}', not a trusted publisher", "signature not valid
// (HRESULT=0x{:08X})" or "signature not read"; the subject escaped as
// platform text.
std::wstring signature_text(const server_signature& signature);

}  // namespace kestrum::reports
