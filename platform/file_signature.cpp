#include "platform/file_signature.h"

#include "platform/library_function.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <array>

namespace kestrum::platform {
namespace {

// wintrust and crypt32 are looked up in the system folder when first asked,
// as version.dll is: only the worker's report asks, and the watcher's
// start-up never loads them.
HMODULE system_library(const wchar_t* name) { return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32); }

struct trust_functions {
    decltype(&::WinVerifyTrust) verify = nullptr;
    decltype(&::WTHelperProvDataFromStateData) provider_data = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) signer = nullptr;
    decltype(&::CertGetNameStringW) name = nullptr;
    decltype(&::CertOpenStore) open_store = nullptr;
    decltype(&::CertFindCertificateInStore) find = nullptr;
    decltype(&::CertFreeCertificateContext) free_certificate = nullptr;
    decltype(&::CertCloseStore) close_store = nullptr;

    bool complete() const noexcept {
        return verify && provider_data && signer && name && open_store && find && free_certificate && close_store;
    }
};

trust_functions load_trust_functions() {
    const HMODULE wintrust = system_library(L"wintrust.dll");
    const HMODULE crypt32 = system_library(L"crypt32.dll");
    trust_functions functions;
    functions.verify = function_of<decltype(functions.verify)>(wintrust, "WinVerifyTrust");
    functions.provider_data = function_of<decltype(functions.provider_data)>(wintrust, "WTHelperProvDataFromStateData");
    functions.signer = function_of<decltype(functions.signer)>(wintrust, "WTHelperGetProvSignerFromChain");
    functions.name = function_of<decltype(functions.name)>(crypt32, "CertGetNameStringW");
    functions.open_store = function_of<decltype(functions.open_store)>(crypt32, "CertOpenStore");
    functions.find = function_of<decltype(functions.find)>(crypt32, "CertFindCertificateInStore");
    functions.free_certificate =
        function_of<decltype(functions.free_certificate)>(crypt32, "CertFreeCertificateContext");
    functions.close_store = function_of<decltype(functions.close_store)>(crypt32, "CertCloseStore");
    return functions;
}

// Whether |certificate| is in the TrustedPublisher store of |location|,
// opened read-only and only if it exists.
bool in_trusted_publishers(const trust_functions& trust, PCCERT_CONTEXT certificate, DWORD location) {
    const HCERTSTORE store =
        trust.open_store(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                         location | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG, L"TrustedPublisher");
    if (store == nullptr) {
        return false;
    }
    const PCCERT_CONTEXT found =
        trust.find(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate, nullptr);
    if (found != nullptr) {
        trust.free_certificate(found);
    }
    trust.close_store(store, 0);
    return found != nullptr;
}

// The state WinVerifyTrust keeps between its verify and its close.
class verification {
public:
    verification(const trust_functions& trust, const wchar_t* path) : trust_(trust) {
        file_.cbStruct = sizeof(file_);
        file_.pcwszFilePath = path;
        data_.cbStruct = sizeof(data_);
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-union-access): WINTRUST_DATA names its file in a union
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        data_.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
        // NOLINTNEXTLINE(cppcoreguidelines-prefer-member-initializer): only once data_ is filled
        result_ = trust_.verify(no_window(), &action_, &data_);
    }
    verification(const verification&) = delete;
    verification& operator=(const verification&) = delete;
    ~verification() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        trust_.verify(no_window(), &action_, &data_);
    }

    LONG result() const noexcept { return result_; }

    // The certificate that signed the file, valid while this lives.
    PCCERT_CONTEXT signer_certificate() const {
        CRYPT_PROVIDER_DATA* const provider = trust_.provider_data(data_.hWVTStateData);
        CRYPT_PROVIDER_SGNR* const signer = provider == nullptr ? nullptr : trust_.signer(provider, 0, FALSE, 0);
        return signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr
                   ? nullptr
                   : signer->pasCertChain->pCert;  // the signer's own certificate comes first
    }

private:
    // INVALID_HANDLE_VALUE as the window: there is no interactive user.
    static HWND no_window() noexcept { return static_cast<HWND>(INVALID_HANDLE_VALUE); }

    const trust_functions& trust_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    LONG result_ = ERROR_SUCCESS;
};

class wintrust_file_signatures final : public file_signatures {
public:
    std::optional<signature_check> check(const wchar_t* path) override {
        static const trust_functions trust = load_trust_functions();
        if (!trust.complete()) {
            return std::nullopt;
        }
        const verification verified(trust, path);
        signature_check found;
        found.trust = verified.result();
        if (found.trust != ERROR_SUCCESS) {
            return found;
        }
        const PCCERT_CONTEXT certificate = verified.signer_certificate();
        if (certificate == nullptr) {
            return found;
        }
        // A subject longer than this is cut: it is shown, never matched.
        constexpr DWORD max_subject_chars = 512;
        std::array<wchar_t, max_subject_chars> subject{};
        const DWORD written =
            trust.name(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject.data(), max_subject_chars);
        found.signer.assign(subject.data(), written > 0 ? written - 1 : 0);
        found.trusted_publisher = in_trusted_publishers(trust, certificate, CERT_SYSTEM_STORE_CURRENT_USER) ||
                                  in_trusted_publishers(trust, certificate, CERT_SYSTEM_STORE_LOCAL_MACHINE);
        return found;
    }
};

}  // namespace

file_signatures& system_file_signatures() {
    static wintrust_file_signatures signatures;
    return signatures;
}

}  // namespace kestrum::platform
