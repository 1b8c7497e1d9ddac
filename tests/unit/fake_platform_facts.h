#pragma once

#include "platform/file_signature.h"
#include "platform/running_processes.h"

#include <map>
#include <string>

namespace kestrum::testing {

// Signatures by path (a file not listed is not signed), and running programs
// by executable name.
class fake_file_signatures final : public platform::file_signatures {
public:
    std::map<std::wstring, std::optional<platform::signature_check>> files;
    std::optional<platform::signature_check> check(const wchar_t* path) override {
        const auto found = files.find(path);
        return found == files.end() ? platform::signature_check{TRUST_E_NOSIGNATURE, {}, false} : found->second;
    }
};

class fake_running_processes final : public platform::running_processes {
public:
    std::map<std::wstring, DWORD> running;
    std::optional<DWORD> find_in_this_session(const wchar_t* image_name) override {
        const auto found = running.find(image_name);
        return found == running.end() ? std::nullopt : std::optional<DWORD>(found->second);
    }
};

}  // namespace kestrum::testing
