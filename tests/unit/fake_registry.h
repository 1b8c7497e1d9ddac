#pragma once

#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace kestrum::testing {

// Behaves like the registry calls: sizes in bytes, ERROR_MORE_DATA with the
// size needed when the buffer is short, ERROR_FILE_NOT_FOUND for a missing
// key or value.
class fake_registry final : public platform::registry {
public:
    struct value {
        DWORD type = REG_SZ;
        std::vector<BYTE> data;
    };
    std::map<std::wstring, std::map<std::wstring, value>> keys;  // by key_name()
    std::map<std::wstring, LSTATUS> denied;                      // keys there but not to be read, by key_name()
    int size_only_queries = 0;  // each opens the key again: a round more than a buffer's try

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
        if (const auto found = denied.find(key_name(root, view, subkey)); found != denied.end()) {
            return found->second;
        }
        return keys.count(key_name(root, view, subkey)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }

    LSTATUS query_value(HKEY root, const wchar_t* subkey, platform::registry_view view, const wchar_t* name,
                        DWORD* type, BYTE* data, DWORD* size_bytes) override {
        if (const auto found = denied.find(key_name(root, view, subkey)); found != denied.end()) {
            return found->second;
        }
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
            ++size_only_queries;
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

    LSTATUS enumerate_value(HKEY root, const wchar_t* subkey, platform::registry_view view, DWORD index, wchar_t* name,
                            DWORD* name_chars, DWORD* type, BYTE* data, DWORD* size_bytes) override {
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
};

}  // namespace kestrum::testing
