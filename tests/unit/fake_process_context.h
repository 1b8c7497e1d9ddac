#pragma once

#include "platform/process_context.h"

#include <algorithm>
#include <map>
#include <string>

namespace kestrum::testing {

// A process's environment and folders; expansion returns the characters
// needed, null included, as ExpandEnvironmentStringsW does.
class fake_process_context final : public platform::process_context {
public:
    std::map<std::wstring, std::wstring> environment;
    std::map<platform::registry_view, std::wstring> system_folders = {
        {platform::registry_view::bits64, L"C:\\Windows\\System32"},
        {platform::registry_view::bits32, L"C:\\Windows\\SysWOW64"}};
    std::map<platform::process_folder, std::wstring> folders = {
        {platform::process_folder::system_named, L"C:\\Windows\\System32"}};
    bool elevated = false;

    DWORD expand_environment_strings(const wchar_t* source, wchar_t* expanded, DWORD size_chars) override {
        std::wstring text = source;
        for (const auto& [name, replacement] : environment) {
            for (std::size_t at = text.find(L"%" + name + L"%"); at != std::wstring::npos;
                 at = text.find(L"%" + name + L"%", at + replacement.size())) {
                text.replace(at, name.size() + 2, replacement);
            }
        }
        const auto needed = static_cast<DWORD>(text.size() + 1);
        if (needed <= size_chars) {
            std::copy_n(text.c_str(), needed, expanded);
        }
        return needed;
    }

    std::wstring environment_variable(const wchar_t* name) override { return environment[name]; }
    std::wstring folder(platform::process_folder which) override { return folders[which]; }
    std::wstring system_folder(platform::registry_view view) override { return system_folders[view]; }
    bool process_is_elevated() override { return elevated; }
};

}  // namespace kestrum::testing
