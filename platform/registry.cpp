#include "platform/registry.h"

#include "platform/unique_resource.h"

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
};

}  // namespace

registry& system_registry() {
    static advapi32_registry instance;
    return instance;
}

}  // namespace kestrum::platform
