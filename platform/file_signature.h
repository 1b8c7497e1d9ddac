#pragma once

// Whether a file carries an Authenticode signature that verifies, and who
// signed it, behind an interface so that tests can stand in for wintrust.

#include <windows.h>

#include <optional>
#include <string>

namespace kestrum::platform {

struct signature_check {
    // WinVerifyTrust's answer: ERROR_SUCCESS when the signature verifies,
    // TRUST_E_NOSIGNATURE when there is none, else why it does not verify.
    LONG trust = ERROR_SUCCESS;
    // When it verifies: the signer's certificate's subject (its simple
    // display name), and whether that certificate is in the TrustedPublisher
    // store of the current user or of the machine.
    std::wstring signer;
    bool trusted_publisher = false;
};

class file_signatures {
public:
    virtual ~file_signatures() = default;

    // WinVerifyTrust(WINTRUST_ACTION_GENERIC_VERIFY_V2) on the file's
    // embedded signature, with no UI, no revocation check and URLs taken
    // from the cache only, so it never waits on the network; none when
    // wintrust cannot be asked.
    virtual std::optional<signature_check> check(const wchar_t* path) = 0;
};

// The real calls of wintrust and crypt32.
file_signatures& system_file_signatures();

}  // namespace kestrum::platform
