#pragma once

#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kestrum::testing {

// Behaves like the registry calls: sizes in bytes, ERROR_MORE_DATA with the
// size needed when the buffer is short, ERROR_FILE_NOT_FOUND for a missing
// key or value; expansion returns the characters needed, null included.
class fake_registry final : public platform::registry {
public:
    struct value {
        DWORD type = REG_SZ;
        std::vector<BYTE> data;
    };
    std::map<std::wstring, std::map<std::wstring, value>> keys;  // by key_name()
    std::map<std::wstring, std::wstring> environment;
    std::set<std::wstring> files;
    std::map<platform::registry_view, std::wstring> system_folders = {
        {platform::registry_view::bits64, L"C:\\Windows\\System32"},
        {platform::registry_view::bits32, L"C:\\Windows\\SysWOW64"}};
    std::map<platform::process_folder, std::wstring> folders = {
        {platform::process_folder::system_named, L"C:\\Windows\\System32"}};
    bool elevated = false;

    static std::wstring key_name(HKEY root, platform::registry_view view, const std::wstring& path) {
        return std::wstring(root == HKEY_CURRENT_USER ? L"HKCU" : L"HKLM") +
               (view == platform::registry_view::bits64 ? L"/64/" : L"/32/") + path;
    }

    void add_key(HKEY root, platform::registry_view view, const std::wstring& path) {
        // Opening a key needs every key above it.
        for (std::size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
            keys[key_name(root, view, path.substr(0, at))];
        }
        keys[key_name(root, view, path)];
    }

    void set_raw(HKEY root, platform::registry_view view, const std::wstring& path, const std::wstring& name,
                 DWORD type, std::vector<BYTE> data) {
        add_key(root, view, path);
        keys[key_name(root, view, path)][name] = {type, std::move(data)};
    }

    // As RegSetValueExW stores text: with its terminating null.
    void set_text(HKEY root, platform::registry_view view, const std::wstring& path, const std::wstring& name,
                  const std::wstring& text, DWORD type = REG_SZ) {
        std::vector<BYTE> data((text.size() + 1) * sizeof(wchar_t));
        std::memcpy(data.data(), text.c_str(), data.size());
        set_raw(root, view, path, name, type, std::move(data));
    }

    LSTATUS probe_key(HKEY root, const wchar_t* subkey, platform::registry_view view) override {
        return keys.count(key_name(root, view, subkey)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }

    LSTATUS query_value(HKEY root, const wchar_t* subkey, platform::registry_view view, const wchar_t* name,
                        DWORD* type, BYTE* data, DWORD* size_bytes) override {
        const auto key = keys.find(key_name(root, view, subkey));
        if (key == keys.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        const auto found = key->second.find(name ? name : L"");
        if (found == key->second.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        *type = found->second.type;
        const auto needed = static_cast<DWORD>(found->second.data.size());
        if (data == nullptr) {
            *size_bytes = needed;
            return ERROR_SUCCESS;
        }
        if (*size_bytes < needed) {
            *size_bytes = needed;
            return ERROR_MORE_DATA;
        }
        std::copy(found->second.data.begin(), found->second.data.end(), data);
        *size_bytes = needed;
        return ERROR_SUCCESS;
    }

    LSTATUS enumerate_value(HKEY root, const wchar_t* subkey, platform::registry_view view, DWORD index,
                            wchar_t* name, DWORD* name_chars, DWORD* type, BYTE* data, DWORD* size_bytes) override {
        const auto key = keys.find(key_name(root, view, subkey));
        if (key == keys.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (index >= key->second.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const auto& [value_name, found] = *std::next(key->second.begin(), static_cast<std::ptrdiff_t>(index));
        *type = found.type;
        const bool short_buffers = *name_chars <= value_name.size() || *size_bytes < found.data.size();
        *size_bytes = static_cast<DWORD>(found.data.size());
        if (short_buffers) {
            return ERROR_MORE_DATA;
        }
        std::copy_n(value_name.c_str(), value_name.size() + 1, name);
        *name_chars = static_cast<DWORD>(value_name.size());
        std::copy(found.data.begin(), found.data.end(), data);
        return ERROR_SUCCESS;
    }

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

    DWORD file_attributes(const wchar_t* path) override {
        return files.count(path) ? FILE_ATTRIBUTE_ARCHIVE : INVALID_FILE_ATTRIBUTES;
    }

    std::wstring system_folder(platform::registry_view view) override { return system_folders[view]; }
    bool process_is_elevated() override { return elevated; }
    std::wstring environment_variable(const wchar_t* name) override { return environment[name]; }
    std::wstring folder(platform::process_folder which) override { return folders[which]; }
};

}  // namespace kestrum::testing
