#include "reports/registry_text.h"

#include "reports/value_forms.h"

#include "logging/platform_text.h"
#include "platform/grown_buffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace kestrum::reports {
namespace {

constexpr DWORD max_value_bytes = (max_value_chars + 1) * sizeof(wchar_t);

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

registry_text read_registry_text(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                 platform::registry_view view, const wchar_t* name) {
    std::vector<BYTE> data;
    for (int round = 0; round < platform::read_rounds; ++round) {
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
        // characters: keep every whole character, a null inside too, so
        // that what follows it is seen.
        std::wstring text(size / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        if (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        registry_text value = with_state(value_state::text);
        value.text = std::move(text);
        value.expandable = type == REG_EXPAND_SZ;
        value.odd_length = size % sizeof(wchar_t) != 0;
        return value;
    }
    return unreadable(ERROR_MORE_DATA);
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

std::wstring describe_registry_text(const registry_text& value) {
    switch (value.state) {
        case value_state::text: {
            // Registry values are the platform's text, not ours.
            std::wstring said = value.text.empty() ? L"empty" : logging::escape_platform_text(value.text);
            if (value.expandable && !value.text.empty()) {
                said += L" (REG_EXPAND_SZ)";
            }
            if (value.odd_length) {
                said += L" (odd length: the last byte is ignored)";
            }
            return said;
        }
        case value_state::missing:
            return L"missing";
        case value_state::not_text:
            return L"not text but " + registry_type_name(value.type);
        case value_state::too_long:
            return L"too long: over " + std::to_wstring(max_value_chars) + L" characters";
        case value_state::unreadable:
            break;
    }
    return L"cannot be read (error " + std::to_wstring(value.error) + L")";
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
