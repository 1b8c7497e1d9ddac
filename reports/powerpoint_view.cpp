#include "reports/powerpoint_view.h"

#include "reports/addin_prog_id.h"
#include "reports/addin_entries.h"
#include "reports/click_to_run.h"
#include "reports/disabled_items.h"
#include "reports/load_conclusion.h"
#include "reports/office_policies.h"
#include "reports/powerpoint_install.h"
#include "reports/registry_value.h"
#include "reports/server_signature.h"
#include "reports/trust_center.h"
#include "reports/value_forms.h"
#include "logging/platform_text.h"

#include <spdlog/logger.h>

#include <array>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::reports {
namespace {

using logging::escape_platform_text;
using platform::registry_view;

constexpr std::wstring_view addins_key = L"Software\\Microsoft\\Office\\PowerPoint\\Addins\\";
constexpr std::array<std::wstring_view, 3> office_versions = {L"16.0", L"15.0", L"14.0"};
// More values than any DisabledItems list holds; the rest are not read.
constexpr DWORD max_disabled_items = 1000;
// The items of one version written out; the rest are counted.
constexpr std::size_t max_items_listed = 20;

std::wstring bits_of(registry_view view) { return view == registry_view::bits64 ? L"64" : L"32"; }

std::wstring version_text(const std::optional<platform::file_version>& version) {
    if (!version) {
        return L"no version information";
    }
    return L"version " + std::to_wstring((*version)[0]) + L"." + std::to_wstring((*version)[1]) + L"." +
           std::to_wstring((*version)[2]) + L"." + std::to_wstring((*version)[3]);
}

std::wstring machine_text(std::optional<WORD> machine) {
    if (!machine) {
        return L"no PE header";
    }
    switch (*machine) {
        case machine_x64:
            return L"64-bit";
        case machine_x86:
            return L"32-bit";
        case machine_arm64:
            return L"ARM64";
        default:
            return fmt::format(L"machine 0x{:04X}", *machine);
    }
}

// The Office versions whose per-user settings and policies are read:
// PowerPoint's own, or, when its version does not say, each one there is a
// PowerPoint key or policy key of.
std::vector<std::wstring> office_versions_to_read(platform::registry& registry,
                                                  const std::optional<powerpoint_install>& powerpoint,
                                                  registry_view view) {
    constexpr WORD oldest = 14;
    constexpr WORD newest = 16;
    if (powerpoint && powerpoint->version && (*powerpoint->version)[0] >= oldest &&
        (*powerpoint->version)[0] <= newest) {
        return {std::to_wstring((*powerpoint->version)[0]) + L".0"};
    }
    std::vector<std::wstring> versions;
    for (const std::wstring_view version : office_versions) {
        const std::wstring user_key = L"Software\\Microsoft\\Office\\" + std::wstring(version) + L"\\PowerPoint";
        const std::wstring policy_key =
            L"Software\\Policies\\Microsoft\\Office\\" + std::wstring(version) + L"\\PowerPoint";
        if (registry.probe_key(HKEY_CURRENT_USER, user_key.c_str(), view) == ERROR_SUCCESS ||
            registry.probe_key(HKEY_CURRENT_USER, policy_key.c_str(), view) == ERROR_SUCCESS ||
            registry.probe_key(HKEY_LOCAL_MACHINE, policy_key.c_str(), view) == ERROR_SUCCESS) {
            versions.emplace_back(version);
        }
    }
    return versions;
}

// The records of one version's Resiliency\DisabledItems: each distinct item
// that is or may be the add-in, and each that cannot be read, up to
// |max_items_listed|; then how many there are. What it finds goes to |facts|.
void report_disabled_items(spdlog::logger& log, platform::registry& registry, const std::wstring& version,
                           registry_view view, const addin_identity& addin, load_facts& facts) {
    const std::wstring key = L"Software\\Microsoft\\Office\\" + version + L"\\PowerPoint\\Resiliency\\DisabledItems";
    DWORD items = 0;
    DWORD unreadable = 0;
    std::size_t listed = 0;
    std::size_t not_listed = 0;
    std::set<std::pair<std::wstring, std::wstring>> seen;  // the items that are or may be the add-in, once each
    const auto list = [&](const auto& write) {
        if (listed < max_items_listed) {
            write();
            ++listed;
        } else {
            ++not_listed;
        }
    };
    DWORD index = 0;
    for (; index < max_disabled_items; ++index) {
        const enumerated_value found = read_enumerated_value(registry, HKEY_CURRENT_USER, key, view, index);
        const registry_value& value = found.value;
        if (value.state == value_state::missing) {
            break;
        }
        if (value.state == value_state::unreadable) {
            log.info(L"  Disabled items of PowerPoint {}: {}", version, cannot_be_read(value.error));
            facts.partly_read_disabled_items.push_back(version);
            return;
        }
        const std::optional<disabled_item> item = value.state == value_state::present && value.type == REG_BINARY
                                                      ? decode_disabled_item(value.bytes)
                                                      : std::nullopt;
        if (!item) {
            ++unreadable;
            list([&] {
                log.info(L"  Disabled item {} of PowerPoint {}: cannot be read ({} bytes)",
                         escape_platform_text(found.name), version, value.size);
            });
            continue;
        }
        ++items;
        const item_match match = match_addin(*item, addin);
        if (match == item_match::other || !seen.emplace(item->path, item->name).second) {
            continue;
        }
        facts.in_disabled_items = facts.in_disabled_items || match == item_match::names;
        if (match == item_match::maybe && facts.doubtful_items.size() < max_items_listed) {
            facts.doubtful_items.push_back({item->name, item->path});
        }
        list([&] {
            log.info(L"  Disabled item of PowerPoint {}: {} ({})", version, escape_platform_text(item->path),
                     escape_platform_text(item->name));
        });
    }
    if (not_listed > 0) {
        log.info(L"  \u2026 and {} more disabled items", not_listed);
    }
    if (index == max_disabled_items &&
        read_enumerated_value(registry, HKEY_CURRENT_USER, key, view, index).value.state != value_state::missing) {
        log.info(L"  Disabled items of PowerPoint {}: more than {} values, the rest not read", version,
                 max_disabled_items);
        facts.partly_read_disabled_items.push_back(version);
    }
    std::wstring counted;
    if (seen.empty()) {
        if (items > 0) {
            counted = fmt::format(L"{}, none of them this add-in", items);
        } else if (unreadable == 0) {
            counted = L"none";
        }
    }
    if (unreadable > 0) {
        counted += fmt::format(L"{}{} that cannot be read", counted.empty() ? L"" : L", and ", unreadable);
    }
    if (!counted.empty()) {
        log.info(L"  Disabled items of PowerPoint {}: {}", version, counted);
    }
}

void write_records(spdlog::logger& log, const std::vector<std::wstring>& records) {
    for (const std::wstring& record : records) {
        log.info(L"{}", record);
    }
}

// Office reads the user's choice as a DWORD; any other type is no choice.
void report_kept_enabled(spdlog::logger& log, platform::registry& registry, const std::vector<std::wstring>& versions,
                         registry_view view) {
    for (const std::wstring& version : versions) {
        const std::wstring key =
            L"Software\\Microsoft\\Office\\" + version + L"\\PowerPoint\\Resiliency\\DoNotDisableAddinList";
        const registry_value choice = read_registry_number(registry, HKEY_CURRENT_USER, key, view, addin_prog_id);
        if (choice.has_number()) {
            log.info(L"  The user chose to keep this add-in enabled (Resiliency\\DoNotDisableAddinList).");
            return;
        }
        if (choice.state != value_state::missing) {
            log.info(L"  Resiliency\\DoNotDisableAddinList\\{} is {}", addin_prog_id, describe_registry_value(choice));
            return;
        }
    }
}

// PowerPoint's side of connecting the created object: what it answered
// when asked for the interfaces PowerPoint connects through.
void report_connection(spdlog::logger& log, const object_interfaces& object) {
    if (!object.extensibility) {
        return;
    }
    if (object.connects()) {
        log.info(L"  The add-in's object implements IDTExtensibility2, which PowerPoint needs to connect it.");
    } else {
        log.info(
            L"  The add-in's object does not implement IDTExtensibility2 (HRESULT=0x{:08X}): PowerPoint cannot "
            L"connect it as a COM add-in.",
            static_cast<unsigned long>(*object.extensibility));
    }
    if (object.ribbon) {
        log.info(L"  It also implements IRibbonExtensibility, through which PowerPoint asks for its ribbon.");
    }
}

}  // namespace

addin_identity report_powerpoint_view(spdlog::logger& log, platform::registry& registry,
                                      platform::process_context& context, platform::file_facts& files,
                                      platform::file_signatures& signatures, platform::running_processes& processes,
                                      const addin_registration& registration, const object_interfaces& object) {
    log.info("");
    log.info(L"PowerPoint's view of '{}':", addin_prog_id);

    load_facts facts;
    const std::optional<powerpoint_install> found = find_powerpoint(registry, context, files);
    // An empty file or a bare DOS header is not PowerPoint, whatever its name.
    const bool not_a_program = found && !found->machine;
    const std::optional<powerpoint_install> powerpoint = not_a_program ? std::nullopt : found;
    const std::optional<registry_view> powerpoint_view =
        powerpoint && powerpoint->machine ? view_of_machine(*powerpoint->machine) : std::nullopt;
    const registry_view view = powerpoint_view.value_or(platform::this_edition_view());
    facts.powerpoint_found = powerpoint.has_value();
    if (powerpoint) {
        log.info(L"  PowerPoint: {} ({}, {})", escape_platform_text(powerpoint->path),
                 machine_text(powerpoint->machine), version_text(powerpoint->version));
    } else if (not_a_program) {
        log.info(L"  PowerPoint: {} is not a program (no PE header)", escape_platform_text(found->path));
    } else {
        log.info(L"  PowerPoint: not found on this machine");
    }
    if (powerpoint_view.has_value() && view != platform::this_edition_view()) {
        const bool own_is_64 = platform::this_edition_view() == registry_view::bits64;
        log.info(
            L"  PowerPoint is {0}-bit and loads {0}-bit add-ins: this run of {1} checked the {2}-bit "
            L"registration. Run {3}.",
            bits_of(view), own_is_64 ? L"kestrum.exe" : L"kestrum32.exe", bits_of(platform::this_edition_view()),
            own_is_64 ? L"kestrum32.exe" : L"kestrum.exe");
    }
    report_click_to_run(log, registry);

    const std::wstring entry_key = std::wstring(addins_key) + addin_prog_id;
    std::vector<std::wstring> friendly_names;
    const auto report_entry = [&](const entry_place& place) {
        entry_report report = report_addin_entry(log, registry, files, place);
        if (report.facts.present) {
            friendly_names.push_back(report.friendly_name.value_or(addin_prog_id));
        }
        return report.facts;
    };
    facts.per_user = report_entry({HKEY_CURRENT_USER, entry_key, view,
                                   L"  Add-in entry per user, in HKEY_CURRENT_USER\\" + entry_key,
                                   L"  Add-in entry per user: none"});
    facts.per_machine = report_entry({HKEY_LOCAL_MACHINE, entry_key, view,
                                      L"  Add-in entry per machine, in HKEY_LOCAL_MACHINE\\" + entry_key + L" (" +
                                          bits_of(view) + L"-bit registry view)",
                                      L"  Add-in entry per machine: none"});
    const registry_view other_view = view == registry_view::bits64 ? registry_view::bits32 : registry_view::bits64;
    if (!facts.per_machine.present) {
        const LSTATUS other = registry.probe_key(HKEY_LOCAL_MACHINE, entry_key.c_str(), other_view);
        if (!is_missing(other)) {
            // Left there by an installer of the other bitness.
            facts.other_view_entry_bits = bits_of(other_view);
            log.info(
                L"  Add-in entry per machine in the {}-bit registry view, which this PowerPoint does not read: "
                L"HKEY_LOCAL_MACHINE\\{}",
                facts.other_view_entry_bits, entry_key);
        }
    }
    // Click-to-Run's copy of the machine's registry, which has a Wow6432Node
    // of its own where 32-bit Office runs on 64-bit Windows.
    const bool wow64_windows =
        registry.probe_key(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node", registry_view::bits64) == ERROR_SUCCESS;
    const auto click_to_run_key = [&](std::wstring_view click_to_run) {
        return L"Software\\Microsoft\\Office\\" + std::wstring(click_to_run) + L"\\REGISTRY\\MACHINE\\Software\\" +
               std::wstring(view == registry_view::bits32 && wow64_windows ? L"Wow6432Node\\" : L"") +
               std::wstring(addins_key.substr(std::wstring_view(L"Software\\").size())) + addin_prog_id;
    };
    facts.click_to_run = report_entry(
        {HKEY_LOCAL_MACHINE, click_to_run_key(L"ClickToRun"), registry_view::bits64,
         L"  Add-in entry per machine for Click-to-Run, in HKEY_LOCAL_MACHINE\\" + click_to_run_key(L"ClickToRun"),
         std::nullopt});
    // Office 2013's Click-to-Run keeps its copy under its version.
    const entry_facts click_to_run_2013 =
        report_entry({HKEY_LOCAL_MACHINE, click_to_run_key(L"15.0\\ClickToRun"), registry_view::bits64,
                      L"  Add-in entry per machine for Office 2013's Click-to-Run, in HKEY_LOCAL_MACHINE\\" +
                          click_to_run_key(L"15.0\\ClickToRun"),
                      std::nullopt});
    if (!facts.click_to_run.present) {
        facts.click_to_run = click_to_run_2013;
    }

    // The file PowerPoint would load, found as the registration report finds
    // it: for a .NET class, the file its CodeBase names.
    addin_identity addin;
    addin.friendly_names = friendly_names;
    bool server_exists = false;
    std::wstring hosting_layer;
    bool hosting_layer_exists = false;
    if (const std::optional<used_class> used = registration.used(view)) {
        addin.managed = used->managed;
        addin.server_path = used->managed ? used->code_base_path : used->server_path;
        server_exists = used->managed ? used->code_base_exists : used->server_exists;
        hosting_layer = used->managed ? used->server_path : L"";
        hosting_layer_exists = used->managed && used->server_exists;
    }
    facts.managed = addin.managed;
    const std::vector<std::wstring> versions = office_versions_to_read(registry, powerpoint, view);
    // Read before the server's record, which checks a signature only when
    // they ask for one; written in their place below.
    const std::vector<std::wstring> policy_records = read_office_policies(registry, versions, view, facts);
    const std::vector<std::wstring> trust_center_records = read_trust_center(registry, versions, view, facts);
    const bool signature_asked = facts.signature_asked();
    if (!addin.server_path.empty()) {
        std::wstring signature;
        if (server_exists && signature_asked) {
            facts.signature = read_server_signature(signatures, addin.server_path);
            signature = L", " + signature_text(facts.signature);
        }
        log.info(L"  Server: {}, {}{}", escape_platform_text(addin.server_path),
                 server_exists ? version_text(files.version(addin.server_path.c_str())) : L"no such file", signature);
    }
    // For a .NET add-in, Office checks the signature of the file
    // InprocServer32 names, the hosting layer, as the loader finds it. One
    // found nowhere has no signature to read, and the CodeBase's is not the
    // one checked: it is left unread, and its bare name is no file to show.
    if (addin.managed && signature_asked && !hosting_layer.empty()) {
        facts.signature = {};
        if (hosting_layer_exists) {
            facts.signature = read_server_signature(signatures, hosting_layer);
            log.info(L"  Signature checked by PowerPoint: {}, {}", escape_platform_text(hosting_layer),
                     signature_text(facts.signature));
        }
    }

    for (const std::wstring& version : versions) {
        report_disabled_items(log, registry, version, view, addin, facts);
    }
    write_records(log, policy_records);
    write_records(log, trust_center_records);
    report_kept_enabled(log, registry, versions, view);

    // Settings changed while it runs are written over when it closes.
    if (const std::optional<DWORD> running = processes.find_in_this_session(L"POWERPNT.EXE")) {
        log.info(
            L"  PowerPoint is running now (process {}): it writes its add-in settings back when it closes, so "
            L"change them with PowerPoint closed.",
            *running);
    }
    report_connection(log, object);
    facts.object = object;

    log.info(L"  {}", load_conclusion(facts));
    return addin;
}

}  // namespace kestrum::reports
