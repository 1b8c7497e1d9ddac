#include "checks/registry_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestrum::checks {
namespace {

constexpr DWORD max_value_bytes = (max_value_chars + 1) * sizeof(wchar_t);
// The value may change between asking its size and reading it.
constexpr int read_rounds = 4;

registry_text with_state(value_state state) {
    registry_text value;
    value.state = state;
    return value;
}

registry_text unreadable(LSTATUS error) {
    registry_text value = with_state(value_state::unreadable);
    value.error = error;
    return value;
}

}  // namespace

registry_text read_registry_text(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                 platform::registry_view view, const wchar_t* name) {
    std::vector<BYTE> data;
    for (int round = 0; round < read_rounds; ++round) {
        DWORD type = REG_NONE;
        auto size = static_cast<DWORD>(data.size());
        const LSTATUS status =
            registry.query_value(root, subkey.c_str(), view, name, &type, data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) {
            return with_state(value_state::missing);
        }
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
            return unreadable(status);
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            registry_text value = with_state(value_state::not_text);
            value.type = type;
            return value;
        }
        if (size > max_value_bytes) {
            return with_state(value_state::too_long);
        }
        if (status == ERROR_MORE_DATA || data.empty() || size > data.size()) {
            // Only the size so far: room for it, and one more round to read.
            data.assign(std::max<DWORD>(size, sizeof(wchar_t)), 0);
            continue;
        }
        // Stored text need not end in a null character, nor fill whole
        // characters: keep the whole characters up to the first null.
        std::wstring text(size / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        text.resize(std::min(text.size(), text.find(L'\0')));
        registry_text value = with_state(value_state::text);
        value.text = std::move(text);
        value.expandable = type == REG_EXPAND_SZ;
        return value;
    }
    return unreadable(ERROR_MORE_DATA);
}

std::wstring expand_environment(platform::registry& registry, const std::wstring& text) {
    std::wstring expanded(MAX_PATH, L'\0');
    for (int round = 0; round < read_rounds; ++round) {
        const DWORD needed =
            registry.expand_environment_strings(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0 || needed > max_value_chars + 1) {
            return {};
        }
        if (needed <= expanded.size()) {
            // |needed| counts the terminating null.
            expanded.resize(needed - 1);
            return expanded;
        }
        expanded.assign(needed, L'\0');
    }
    return {};
}

}  // namespace kestrum::checks
