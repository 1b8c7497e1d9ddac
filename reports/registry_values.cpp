#include "reports/registry_values.h"

#include "logging/platform_text.h"
#include "platform/grown_buffer.h"

namespace kestrum::reports {
namespace {

// The longest value name the registry allows, and its null.
constexpr DWORD max_value_name_chars = 16384;
// Enough for most values at the first try.
constexpr std::size_t first_data_bytes = 256;

}  // namespace

registry_number read_registry_number(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                     platform::registry_view view, const wchar_t* name) {
    registry_number value;
    DWORD type = REG_NONE;
    DWORD number = 0;
    DWORD size = sizeof(number);
    const LSTATUS status =
        registry.query_value(root, subkey.c_str(), view, name, &type, reinterpret_cast<BYTE*>(&number), &size);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) {
        return value;
    }
    if ((status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type != REG_DWORD) {
        value.state = number_state::not_number;
        value.type = type;
        return value;
    }
    if (status != ERROR_SUCCESS || size != sizeof(number)) {
        // A REG_DWORD of another size is no number either.
        value.state = number_state::unreadable;
        value.error = status == ERROR_SUCCESS ? ERROR_INVALID_DATA : status;
        return value;
    }
    value.state = number_state::number;
    value.number = number;
    return value;
}

enumerated_value read_enumerated_value(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                       platform::registry_view view, DWORD index) {
    enumerated_value value;
    std::wstring name(max_value_name_chars, L'\0');
    value.data.resize(first_data_bytes);
    for (int round = 0; round < platform::read_rounds; ++round) {
        DWORD name_chars = max_value_name_chars;
        value.size = static_cast<DWORD>(value.data.size());
        value.status = registry.enumerate_value(root, subkey.c_str(), view, index, name.data(), &name_chars,
                                                &value.type, value.data.data(), &value.size);
        if (value.status == ERROR_MORE_DATA && value.size > value.data.size() && value.size <= max_binary_value_bytes) {
            value.data.resize(value.size);
            continue;
        }
        if (value.status == ERROR_SUCCESS || value.status == ERROR_MORE_DATA) {
            value.name.assign(name.data(), name_chars < max_value_name_chars ? name_chars : 0);
            value.data.resize(value.status == ERROR_SUCCESS ? value.size : 0);
        }
        return value;
    }
    value.data.clear();
    return value;
}

std::wstring describe_registry_number(const registry_number& value) {
    switch (value.state) {
        case number_state::number:
            return std::to_wstring(value.number);
        case number_state::missing:
            return L"missing";
        case number_state::not_number:
            return L"not a number but " + registry_type_name(value.type);
        case number_state::unreadable:
            break;
    }
    return L"cannot be read (error " + std::to_wstring(value.error) + L")";
}

}  // namespace kestrum::reports
