#include "reports/registry_value.h"

#include "reports/value_forms.h"

#include "logging/platform_text.h"
#include "platform/grown_buffer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

namespace kestrum::reports {
namespace {

// No path or name the reports read is longer than the longest path Windows
// accepts; anything longer is reported as such rather than read.
constexpr std::size_t max_value_chars = 32767;
constexpr DWORD max_value_bytes = (max_value_chars + 1) * sizeof(wchar_t);
// No value read whole as bytes is larger than this; a larger one is named by its size.
constexpr DWORD max_binary_value_bytes = 256 * 1024;

// The longest value name the registry allows, and its null.
constexpr DWORD max_value_name_chars = 16384;
// Enough for most values at the first try.
constexpr std::size_t first_data_bytes = 256;

registry_value result(value_form form, value_state state, DWORD type = REG_NONE, LSTATUS error = ERROR_SUCCESS) {
    registry_value value;
    value.form = form;
    value.state = state;
    value.type = type;
    value.error = error;
    return value;
}

std::wstring describe_present(const registry_value& value) {
    if (value.form == value_form::number) {
        return std::to_wstring(value.number);
    }
    if (value.form == value_form::bytes) {
        return std::to_wstring(value.size) + L" bytes of " + registry_type_name(value.type);
    }
    // Registry values are the platform's text, not ours.
    std::wstring said = value.text.empty() ? L"empty" : logging::escape_platform_text(value.text);
    if (value.expandable() && !value.text.empty()) {
        said += L" (REG_EXPAND_SZ)";
    }
    if (value.odd_length) {
        said += L" (odd length: the last byte is ignored)";
    }
    return said;
}

// ExpandEnvironmentStringsW uses this process's environment, where
// %ProgramFiles% and %CommonProgramFiles% are this bitness's folders: a
// value of the other view names the ones its own programs see, under the
// names this process has them by. Other references are kept as they are.
std::wstring with_folders_of(platform::process_context& context, const std::wstring& text,
                             platform::registry_view view) {
    if (view == platform::this_edition_view()) {
        return text;
    }
    const bool of_32_bit = view == platform::registry_view::bits32;
    struct renamed {
        std::wstring_view name;
        const wchar_t* there;
    };
    const std::array<renamed, 2> folders{{
        {L"ProgramFiles", of_32_bit ? L"ProgramFiles(x86)" : L"ProgramW6432"},
        {L"CommonProgramFiles", of_32_bit ? L"CommonProgramFiles(x86)" : L"CommonProgramW6432"},
    }};
    std::wstring result;
    std::size_t done = 0;
    for (std::size_t open = text.find(L'%'); open != std::wstring::npos; open = text.find(L'%', done)) {
        const std::size_t close = text.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            break;
        }
        const std::wstring_view name = std::wstring_view(text).substr(open + 1, close - open - 1);
        result.append(text, done, close + 1 - done);
        for (const renamed& folder : folders) {
            if (equal_ignoring_case(name, folder.name) && !context.environment_variable(folder.there).empty()) {
                result.resize(result.size() - name.size() - 1);
                result += folder.there;
                result += L'%';
            }
        }
        done = close + 1;
    }
    return result.append(text, done);
}

}  // namespace

bool is_missing(LSTATUS status) noexcept { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

registry_value read_registry_text(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                  platform::registry_view view, const wchar_t* name) {
    // Room from the start: each round opens the key again, and under Wine a
    // key of the 32-bit view is opened one name at a time.
    std::vector<BYTE> data(first_data_bytes);
    for (int round = 0; round < platform::read_rounds; ++round) {
        DWORD type = REG_NONE;
        auto size = static_cast<DWORD>(data.size());
        const LSTATUS status = registry.query_value(root, subkey.c_str(), view, name, &type, data.data(), &size);
        if (is_missing(status)) {
            return result(value_form::text, value_state::missing);
        }
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
            return result(value_form::text, value_state::unreadable, REG_NONE, status);
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            return result(value_form::text, value_state::wrong_type, type);
        }
        if (size > max_value_bytes) {
            return result(value_form::text, value_state::too_long);
        }
        if (status == ERROR_MORE_DATA || size > data.size()) {
            // Longer than the room offered: room for all of it, and one more round.
            data.assign(std::max<DWORD>(size, sizeof(wchar_t)), 0);
            continue;
        }
        // Stored text need not end in a null character, nor fill whole
        // characters: keep every whole character, a null inside too, so
        // that what follows it is seen.
        registry_value value = result(value_form::text, value_state::present, type);
        value.text.assign(size / sizeof(wchar_t), L'\0');
        std::memcpy(value.text.data(), data.data(), value.text.size() * sizeof(wchar_t));
        if (!value.text.empty() && value.text.back() == L'\0') {
            value.text.pop_back();
        }
        value.odd_length = size % sizeof(wchar_t) != 0;
        return value;
    }
    return result(value_form::text, value_state::unreadable, REG_NONE, ERROR_MORE_DATA);
}

registry_value read_registry_number(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                    platform::registry_view view, const wchar_t* name) {
    DWORD type = REG_NONE;
    DWORD number = 0;
    DWORD size = sizeof(number);
    const LSTATUS status =
        registry.query_value(root, subkey.c_str(), view, name, &type, reinterpret_cast<BYTE*>(&number), &size);
    if (is_missing(status)) {
        return result(value_form::number, value_state::missing);
    }
    if ((status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type != REG_DWORD) {
        return result(value_form::number, value_state::wrong_type, type);
    }
    if (status != ERROR_SUCCESS || size != sizeof(number)) {
        // A REG_DWORD of another size is no number either.
        return result(value_form::number, value_state::unreadable, REG_NONE,
                      status == ERROR_SUCCESS ? ERROR_INVALID_DATA : status);
    }
    registry_value value = result(value_form::number, value_state::present, type);
    value.number = number;
    return value;
}

enumerated_value read_enumerated_value(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                       platform::registry_view view, DWORD index) {
    enumerated_value found;
    registry_value& value = found.value;
    value.form = value_form::bytes;
    std::wstring name(max_value_name_chars, L'\0');
    value.bytes.resize(first_data_bytes);
    LSTATUS status = ERROR_MORE_DATA;
    for (int round = 0; round < platform::read_rounds; ++round) {
        DWORD name_chars = max_value_name_chars;
        value.size = static_cast<DWORD>(value.bytes.size());
        status = registry.enumerate_value(root, subkey.c_str(), view, index, name.data(), &name_chars, &value.type,
                                          value.bytes.data(), &value.size);
        if (status == ERROR_MORE_DATA && value.size > value.bytes.size() && value.size <= max_binary_value_bytes) {
            value.bytes.resize(value.size);
            continue;
        }
        if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
            found.name.assign(name.data(), name_chars < max_value_name_chars ? name_chars : 0);
        }
        break;
    }
    value.bytes.resize(status == ERROR_SUCCESS ? value.size : 0);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        // ERROR_MORE_DATA: larger than is read whole, or growing while it was read; named by its size.
        value.state = status == ERROR_SUCCESS ? value_state::present : value_state::too_long;
    } else {
        value.state =
            status == ERROR_NO_MORE_ITEMS || is_missing(status) ? value_state::missing : value_state::unreadable;
        value.error = value.state == value_state::unreadable ? status : ERROR_SUCCESS;
    }
    return found;
}

std::wstring registry_type_name(DWORD type) {
    switch (type) {
        case REG_NONE:
            return L"REG_NONE";
        case REG_SZ:
            return L"REG_SZ";
        case REG_EXPAND_SZ:
            return L"REG_EXPAND_SZ";
        case REG_BINARY:
            return L"REG_BINARY";
        case REG_DWORD:
            return L"REG_DWORD";
        case REG_DWORD_BIG_ENDIAN:
            return L"REG_DWORD_BIG_ENDIAN";
        case REG_LINK:
            return L"REG_LINK";
        case REG_MULTI_SZ:
            return L"REG_MULTI_SZ";
        case REG_QWORD:
            return L"REG_QWORD";
        default:
            return L"type " + std::to_wstring(type);
    }
}

std::wstring cannot_be_read(LSTATUS error) { return L"cannot be read (error " + std::to_wstring(error) + L")"; }

std::wstring describe_registry_value(const registry_value& value) {
    switch (value.state) {
        case value_state::present:
            return describe_present(value);
        case value_state::missing:
            return L"missing";
        case value_state::wrong_type:
            return (value.form == value_form::number ? L"not a number but " : L"not text but ") +
                   registry_type_name(value.type);
        case value_state::too_long:
            return value.form == value_form::bytes
                       ? L"too long: " + std::to_wstring(value.size) + L" bytes"
                       : L"too long: over " + std::to_wstring(max_value_chars) + L" characters";
        case value_state::unreadable:
            break;
    }
    return cannot_be_read(value.error);
}

std::wstring expand_environment(platform::process_context& context, const std::wstring& text) {
    return platform::grown_text(
        [&](wchar_t* expanded, DWORD capacity) {
            // Written or not, the answer is the capacity needed, null included.
            const DWORD needed = context.expand_environment_strings(text.c_str(), expanded, capacity);
            return needed != 0 && needed <= capacity ? platform::filled{needed - 1, 0} : platform::filled{0, needed};
        },
        {.most = max_value_chars + 1});
}

std::wstring expand_environment(platform::process_context& context, const std::wstring& text,
                                platform::registry_view view) {
    return expand_environment(context, with_folders_of(context, text, view));
}

}  // namespace kestrum::reports
