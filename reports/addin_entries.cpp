#include "reports/addin_entries.h"

#include "reports/registry_value.h"
#include "reports/value_forms.h"
#include "logging/platform_text.h"
#include "platform/text_encoding.h"

#include <spdlog/logger.h>

#include <string_view>

namespace kestrum::reports {

std::wstring load_behavior_meaning(DWORD value) {
    switch (value) {
        case 0:
            return L"not loaded; loads only when the user connects it";
        case 1:
            return L"loaded; loads only when the user connects it";
        case 2:
            return L"set to load at startup but not loaded: PowerPoint does this after the add-in failed to load, or "
                   L"when the user unloaded it";
        case 3:
            return L"loads at startup";
        case 8:  // NOLINT(cppcoreguidelines-avoid-magic-numbers,readability-magic-numbers): documented values
            return L"loads on demand; not loaded";
        case 9:  // NOLINT(cppcoreguidelines-avoid-magic-numbers,readability-magic-numbers): documented values
            return L"loads on demand";
        case 16:  // NOLINT(cppcoreguidelines-avoid-magic-numbers,readability-magic-numbers): documented values
            return L"loads once at the next startup, then on demand";
        default:
            return L"not a documented value";
    }
}

std::wstring manifest_path(const std::wstring& manifest) {
    constexpr std::wstring_view run_in_place = L"|vstolocal";
    std::wstring path = manifest;
    if (path.size() >= run_in_place.size() &&
        starts_with_ignoring_case(std::wstring_view(path).substr(path.size() - run_in_place.size()), run_in_place)) {
        path.resize(path.size() - run_in_place.size());
    }
    return path_from_file_url(path);
}

entry_report report_addin_entry(spdlog::logger& log, platform::registry& registry, platform::file_facts& files,
                                const entry_place& place) {
    entry_report report;
    const LSTATUS opened = registry.probe_key(place.root, place.subkey.c_str(), place.view);
    if (is_missing(opened)) {
        if (place.absent) {
            log.info(L"{}", *place.absent);
        }
        return report;
    }
    report.facts.present = true;
    if (opened != ERROR_SUCCESS) {
        // There, but not to be read: PowerPoint may still read it.
        log.info(L"{}: {}", place.heading, cannot_be_read(opened));
        return report;
    }
    log.info(L"{}:", place.heading);

    const registry_value load_behavior =
        read_registry_number(registry, place.root, place.subkey, place.view, L"LoadBehavior");
    if (load_behavior.has_number()) {
        report.facts.load_behavior = load_behavior.number;
        log.info(L"    LoadBehavior: {} ({})", load_behavior.number, load_behavior_meaning(load_behavior.number));
    } else {
        log.info(L"    LoadBehavior: {}", describe_registry_value(load_behavior));
    }
    const auto read = [&](const wchar_t* name) {
        return read_registry_text(registry, place.root, place.subkey, place.view, name);
    };
    const registry_value friendly_name = read(L"FriendlyName");
    if (friendly_name.state != value_state::missing) {
        log.info(L"    FriendlyName: {}", describe_registry_value(friendly_name));
    }
    if (friendly_name.has_text()) {
        report.friendly_name = friendly_name.text;
    }
    if (const registry_value description = read(L"Description"); description.state != value_state::missing) {
        log.info(L"    Description: {}", describe_registry_value(description));
    }
    const registry_value manifest = read(L"Manifest");
    if (manifest.has_text() && !manifest.text.empty()) {
        const std::wstring path = manifest_path(manifest.text);
        const wchar_t* found = L"no such file";
        if (is_device_name(path)) {
            found = L"not a file";
        } else if (files.exists(path.c_str())) {
            found = L"the file exists";
        }
        log.info(L"    Manifest: {} ({})", logging::escape_platform_text(manifest.text), found);
    } else if (manifest.state != value_state::missing) {
        log.info(L"    Manifest: {}", describe_registry_value(manifest));
    }
    return report;
}

}  // namespace kestrum::reports
