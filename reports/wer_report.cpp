#include "reports/wer_report.h"

#include "logging/platform_text.h"
#include "reports/value_forms.h"

#include <fmt/xchar.h>

#include <array>
#include <cstdint>
#include <map>
#include <string_view>
#include <utility>

namespace kestrum::reports {
namespace {

using logging::escape_platform_text;

constexpr unsigned byte_bits = 8;
constexpr BYTE bom_first = 0xFF;
constexpr BYTE bom_second = 0xFE;

std::wstring utf16le_units(std::span<const BYTE> bytes) {
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        text += static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << byte_bits));
    }
    return text;
}

// "Sig[3].Name" with |prefix| "Sig[" and |suffix| "].Name" gives "3".
std::optional<std::wstring_view> index_of(std::wstring_view name, std::wstring_view prefix, std::wstring_view suffix) {
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix)) {
        return std::nullopt;
    }
    return name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
}

std::wstring_view file_name_of(std::wstring_view path) {
    const std::size_t name_at = path.find_last_of(L"\\/");
    return name_at == std::wstring_view::npos ? path : path.substr(name_at + 1);
}

bool same_file_name(std::wstring_view left, std::wstring_view right) {
    return !file_name_of(right).empty() && equal_ignoring_case(file_name_of(left), file_name_of(right));
}

// A FILETIME in decimal digits, none when it is anything else.
std::optional<platform::file_time> decimal_time(std::wstring_view text) {
    constexpr platform::file_time radix = 10;
    if (text.empty()) {
        return std::nullopt;
    }
    platform::file_time value = 0;
    for (const wchar_t unit : text) {
        if (unit < L'0' || unit > L'9') {
            return std::nullopt;
        }
        const auto digit = static_cast<platform::file_time>(unit - L'0');
        if (value > (UINT64_MAX - digit) / radix) {
            return std::nullopt;
        }
        value = value * radix + digit;
    }
    return value;
}

std::wstring shown(const std::wstring& value) { return value.empty() ? L"?" : escape_platform_text(value); }

std::wstring what_happened(const wer_report& report, const std::wstring& folder) {
    constexpr std::wstring_view hang_type = L"AppHang";
    constexpr std::wstring_view hang_folder = L"AppHang_";
    const bool hang = report.event_type.empty() ? starts_with_ignoring_case(file_name_of(folder), hang_folder)
                                                : starts_with_ignoring_case(report.event_type, hang_type);
    if (hang) {
        return fmt::format(L"PowerPoint {} stopped responding", shown(report.application_version));
    }
    return fmt::format(L"PowerPoint {} crashed in {} {} (exception {}, offset {})", shown(report.application_version),
                       shown(report.fault_module), shown(report.fault_module_version), shown(report.exception_code),
                       shown(report.exception_offset));
}

// What the report says of the add-in: whether it was loaded, and whether the
// fault is in its code or is a .NET exception nobody handled.
std::wstring what_it_says_of(const wer_report& report, const addin_identity& addin) {
    std::wstring said;
    for (const std::wstring& module : report.loaded_modules) {
        if (same_file_name(module, addin.server_path)) {
            said += L"; the add-in was loaded";
            break;
        }
    }
    constexpr std::array<std::wstring_view, 3> runtime_modules = {L"clr.dll", L"mscorwks.dll", L"KERNELBASE.dll"};
    constexpr std::wstring_view clr_exception = L"e0434352";
    if (same_file_name(report.fault_module, addin.server_path)) {
        said += L"; the fault is in the add-in";
    } else if (addin.managed && equal_ignoring_case(report.exception_code, clr_exception)) {
        for (const std::wstring_view module : runtime_modules) {
            if (equal_ignoring_case(report.fault_module, module)) {
                said += L"; a .NET exception was not handled";
                break;
            }
        }
    }
    return said;
}

wer_entry unreadable(const std::wstring& folder, std::wstring_view why) {
    return {wer_entry_kind::unreadable, 0,
            fmt::format(L"  {}: cannot be read ({})", escape_platform_text(folder), why)};
}

}  // namespace

std::optional<wer_report> read_wer_report(std::span<const BYTE> bytes, bool cut) {
    if (bytes.size() < 2 || bytes[0] != bom_first || bytes[1] != bom_second) {
        return std::nullopt;
    }
    const std::wstring text = utf16le_units(bytes.subspan(2));
    wer_report report;
    std::map<std::wstring_view, std::wstring_view> signature_names;
    std::map<std::wstring_view, std::wstring_view> signature_values;
    const std::wstring_view all(text);
    for (std::size_t start = 0; start < all.size();) {
        const std::size_t end = all.find(L'\n', start);
        if (end == std::wstring_view::npos && cut) {
            break;
        }
        std::wstring_view line = all.substr(start, end == std::wstring_view::npos ? all.size() - start : end - start);
        start = end == std::wstring_view::npos ? all.size() : end + 1;
        if (line.ends_with(L'\r')) {
            line.remove_suffix(1);
        }
        const std::size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos) {
            continue;
        }
        const std::wstring_view name = line.substr(0, equals);
        const std::wstring_view value = line.substr(equals + 1);
        if (name == L"EventTime") {
            report.event_time = std::wstring(value);
        } else if (name == L"EventType") {
            report.event_type = value;
        } else if (const auto index = index_of(name, L"Sig[", L"].Name")) {
            signature_names[*index] = value;
        } else if (const auto value_index = index_of(name, L"Sig[", L"].Value")) {
            signature_values[*value_index] = value;
        } else if (index_of(name, L"LoadedModule[", L"]")) {
            report.loaded_modules.emplace_back(value);
        }
    }
    const std::array<std::pair<std::wstring_view, std::wstring*>, 5> signatures = {{
        {L"Application Version", &report.application_version},
        {L"Fault Module Name", &report.fault_module},
        {L"Fault Module Version", &report.fault_module_version},
        {L"Exception Code", &report.exception_code},
        {L"Exception Offset", &report.exception_offset},
    }};
    for (const auto& [index, name] : signature_names) {
        const auto value = signature_values.find(index);
        for (const auto& [wanted, field] : signatures) {
            if (value != signature_values.end() && name == wanted) {
                *field = value->second;
            }
        }
    }
    return report;
}

wer_entry describe_wer_report(std::span<const BYTE> bytes, bool cut, const std::wstring& folder,
                              const addin_identity& addin, platform::local_clock& clock, platform::file_time now) {
    if (bytes.empty()) {
        return unreadable(folder, L"Report.wer is missing, empty or cannot be opened");
    }
    const std::optional<wer_report> report = read_wer_report(bytes, cut);
    if (!report) {
        return unreadable(folder, L"Report.wer is not UTF-16 text with a byte-order mark");
    }
    if (!report->event_time) {
        return unreadable(folder, L"no EventTime");
    }
    const std::optional<platform::file_time> time = decimal_time(*report->event_time);
    const std::optional<SYSTEMTIME> local = time ? clock.local_time(*time) : std::nullopt;
    if (!local) {
        return unreadable(folder, L"EventTime " + escape_platform_text(*report->event_time) + L" is not a time");
    }
    if (*time > now) {
        return unreadable(folder, L"EventTime " + escape_platform_text(*report->event_time) + L" is later than now");
    }
    constexpr platform::file_time ticks_per_day = 864000000000;
    if (now - *time > recent_days * ticks_per_day) {
        return {wer_entry_kind::old, *time, {}};
    }
    return {wer_entry_kind::recent, *time,
            fmt::format(L"  {:04}-{:02}-{:02} {:02}:{:02} {}{}", local->wYear, local->wMonth, local->wDay, local->wHour,
                        local->wMinute, what_happened(*report, folder), what_it_says_of(*report, addin))};
}

}  // namespace kestrum::reports
