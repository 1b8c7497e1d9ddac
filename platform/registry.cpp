#include "platform/registry.h"

#include "platform/unique_resource.h"

#include <array>

namespace kestrum::platform {
namespace {

REGSAM view_flag(registry_view view) noexcept {
    return view == registry_view::bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

LSTATUS open_for_reading(HKEY root, const wchar_t* subkey, registry_view view, unique_registry_key& key) {
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(root, subkey, 0, KEY_READ | view_flag(view), &opened);
    key.reset(status == ERROR_SUCCESS ? opened : nullptr);
    return status;
}

// A folder name from one of the calls that fill a buffer and return the
// characters written (or, when it is too small, the size needed).
template <typename Call>
std::wstring folder_from(Call call) {
    std::array<wchar_t, MAX_PATH + 1> buffer{};
    const UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0) {
        return {};
    }
    if (length < buffer.size()) {
        return std::wstring(buffer.data(), length);
    }
    std::wstring longer(length, L'\0');
    const UINT written = call(longer.data(), length);
    longer.resize(written < length ? written : 0);
    return longer;
}

class advapi32_registry final : public registry {
public:
    LSTATUS probe_key(HKEY root, const wchar_t* subkey, registry_view view) override {
        unique_registry_key key;
        return open_for_reading(root, subkey, view, key);
    }

    LSTATUS query_value(HKEY root, const wchar_t* subkey, registry_view view, const wchar_t* name, DWORD* type,
                        BYTE* data, DWORD* size_bytes) override {
        unique_registry_key key;
        if (const LSTATUS opened = open_for_reading(root, subkey, view, key); opened != ERROR_SUCCESS) {
            return opened;
        }
        return ::RegQueryValueExW(key.get(), name, nullptr, type, data, size_bytes);
    }

    LSTATUS enumerate_value(HKEY root, const wchar_t* subkey, registry_view view, DWORD index, wchar_t* name,
                            DWORD* name_chars, DWORD* type, BYTE* data, DWORD* size_bytes) override {
        unique_registry_key key;
        if (const LSTATUS opened = open_for_reading(root, subkey, view, key); opened != ERROR_SUCCESS) {
            return opened;
        }
        return ::RegEnumValueW(key.get(), index, name, name_chars, nullptr, type, data, size_bytes);
    }

    DWORD expand_environment_strings(const wchar_t* source, wchar_t* expanded, DWORD size_chars) override {
        return ::ExpandEnvironmentStringsW(source, expanded, size_chars);
    }

    DWORD file_attributes(const wchar_t* path) override { return ::GetFileAttributesW(path); }

    std::wstring system_folder(registry_view view) override {
        if (view == this_edition_view()) {
            return folder_from([](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); });
        }
        if (view == registry_view::bits32) {
            // A 64-bit process sees the 32-bit system folder under its own name.
            return folder_from([](wchar_t* buffer, UINT size) { return ::GetSystemWow64DirectoryW(buffer, size); });
        }
        // A 32-bit process asking for System32 is sent to the 32-bit folder;
        // "Sysnative" is the name that reaches the 64-bit one.
        std::wstring windows =
            folder_from([](wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); });
        return windows.empty() ? windows : windows + L"\\Sysnative";
    }
};

}  // namespace

registry& system_registry() {
    static advapi32_registry instance;
    return instance;
}

}  // namespace kestrum::platform
