#include "reports/click_to_run.h"

#include "reports/registry_value.h"
#include "reports/value_forms.h"

#include <spdlog/logger.h>

#include <array>
#include <string_view>
#include <utility>

namespace kestrum::reports {
namespace {

using platform::registry_view;

// Click-to-Run keeps its configuration in the 64-bit view, whatever the
// bitness of Office; Office 2013's under its version.
constexpr std::array<std::wstring_view, 2> configuration_keys = {
    L"Software\\Microsoft\\Office\\ClickToRun\\Configuration",
    L"Software\\Microsoft\\Office\\15.0\\ClickToRun\\Configuration"};

// The channels by the GUID their content URL ends in, as Microsoft names them now.
constexpr std::array<std::pair<std::wstring_view, std::wstring_view>, 6> channels = {{
    {L"492350f6-3a01-4f97-b9c0-c7c6ddf67d60", L"Current Channel"},
    {L"64256afe-f5d9-4f86-8936-8840a6a4f5be", L"Current Channel (Preview)"},
    {L"55336b82-a18d-4dd6-b5f6-9e5095c314a6", L"Monthly Enterprise Channel"},
    {L"7ffbc6bf-bc32-4f92-8982-f9dd17fd3114", L"Semi-Annual Enterprise Channel"},
    {L"b8f9b850-328d-4355-9145-c59439a0c4cf", L"Semi-Annual Enterprise Channel (Preview)"},
    {L"5440fd1f-7ecb-4221-8110-145efaa6372f", L"Beta Channel"},
}};

std::wstring shown(const registry_value& value) {
    return value.state == value_state::missing ? L"unknown" : describe_registry_value(value);
}

std::wstring channel_text(platform::registry& registry, const std::wstring& key) {
    registry_value url = read_registry_text(registry, HKEY_LOCAL_MACHINE, key, registry_view::bits64, L"CDNBaseUrl");
    if (url.state == value_state::missing) {
        url = read_registry_text(registry, HKEY_LOCAL_MACHINE, key, registry_view::bits64, L"UpdateChannel");
    }
    const std::wstring name = url.has_text() ? channel_name(url.text) : std::wstring();
    return name.empty() ? shown(url) : name;
}

}  // namespace

std::wstring channel_name(std::wstring_view url) {
    const std::size_t slash = url.find_last_of(L'/');
    const std::wstring_view last = slash == std::wstring_view::npos ? url : url.substr(slash + 1);
    for (const auto& [guid, name] : channels) {
        if (equal_ignoring_case(last, guid)) {
            return std::wstring(name);
        }
    }
    return {};
}

void report_click_to_run(spdlog::logger& log, platform::registry& registry) {
    for (const std::wstring_view key_name : configuration_keys) {
        const std::wstring key(key_name);
        if (registry.probe_key(HKEY_LOCAL_MACHINE, key.c_str(), registry_view::bits64) != ERROR_SUCCESS) {
            continue;
        }
        const auto value = [&](const wchar_t* name) {
            return shown(read_registry_text(registry, HKEY_LOCAL_MACHINE, key, registry_view::bits64, name));
        };
        log.info(L"  Office: Click-to-Run {} ({}), {}, update channel {}", value(L"VersionToReport"),
                 value(L"Platform"), value(L"ProductReleaseIds"), channel_text(registry, key));
    }
}

}  // namespace kestrum::reports
