#include "reports/installed_runtimes.h"

#include "reports/registry_value.h"
#include "reports/value_forms.h"
#include "logging/platform_text.h"

#include <algorithm>
#include <array>
#include <optional>

namespace kestrum::reports {
namespace {

using platform::registry_view;

constexpr std::wstring_view net_setup_key = L"Software\\Microsoft\\NET Framework Setup\\NDP\\";

// The lowest Release each version of the .NET Framework 4.5 and later
// writes, per Microsoft's documented table, newest first.
struct framework_release {
    DWORD lowest;
    const wchar_t* version;
};
constexpr std::array<framework_release, 11> framework_releases = {{{533320, L"4.8.1"},
                                                                   {528040, L"4.8"},
                                                                   {461808, L"4.7.2"},
                                                                   {461308, L"4.7.1"},
                                                                   {460798, L"4.7"},
                                                                   {394802, L"4.6.2"},
                                                                   {394254, L"4.6.1"},
                                                                   {393295, L"4.6"},
                                                                   {379893, L"4.5.2"},
                                                                   {378675, L"4.5.1"},
                                                                   {378389, L"4.5"}}};

// The v4 Framework's Release, when one is registered.
std::optional<DWORD> framework_4_release(platform::registry& registry) {
    const registry_value release =
        read_registry_number(registry, HKEY_LOCAL_MACHINE, std::wstring(net_setup_key) + L"v4\\Full",
                             platform::this_edition_view(), L"Release");
    return release.has_number() ? std::optional<DWORD>(release.number) : std::nullopt;
}

bool framework_35_installed(platform::registry& registry) {
    const registry_value install = read_registry_number(
        registry, HKEY_LOCAL_MACHINE, std::wstring(net_setup_key) + L"v3.5", platform::this_edition_view(), L"Install");
    return install.has_number() && install.number == 1;
}

}  // namespace

bool is_visual_cpp_runtime(std::wstring_view name) {
    constexpr std::array<std::wstring_view, 7> stems = {L"vcruntime140", L"msvcp140", L"concrt140", L"vccorlib140",
                                                        L"vcomp140",     L"vcamp140", L"mfc140"};
    if (!ends_with_ignoring_case(name, L".dll")) {
        return false;
    }
    return std::any_of(stems.begin(), stems.end(),
                       [&](std::wstring_view stem) { return starts_with_ignoring_case(name, stem); });
}

std::wstring visual_cpp_runtime(platform::registry& registry) {
    const registry_view view = platform::this_edition_view();
    const std::wstring key = std::wstring(L"Software\\Microsoft\\VisualStudio\\14.0\\VC\\Runtimes\\") +
                             (view == registry_view::bits64 ? L"x64" : L"x86");
    const registry_value installed = read_registry_number(registry, HKEY_LOCAL_MACHINE, key, view, L"Installed");
    if (!installed.has_number() || installed.number != 1) {
        return L"not installed";
    }
    return describe_registry_value(read_registry_text(registry, HKEY_LOCAL_MACHINE, key, view, L"Version"));
}

std::wstring dotnet_frameworks(platform::registry& registry) {
    std::wstring list;
    if (const std::optional<DWORD> release = framework_4_release(registry)) {
        const wchar_t* version = L"4.x";
        for (const framework_release& known : framework_releases) {
            if (*release >= known.lowest) {
                version = known.version;
                break;
            }
        }
        list = std::wstring(version) + L" (release " + std::to_wstring(*release) + L")";
    }
    if (framework_35_installed(registry)) {
        list += list.empty() ? L"3.5" : L", 3.5";
    }
    return list.empty() ? L"none found" : list;
}

std::wstring_view dotnet_runtime_state(platform::registry& registry, std::wstring_view runtime_version) {
    bool installed = false;
    if (starts_with_ignoring_case(runtime_version, L"v4.0")) {
        installed = framework_4_release(registry).has_value();
    } else if (starts_with_ignoring_case(runtime_version, L"v2.0")) {
        installed = framework_35_installed(registry);
    } else {
        return L"cannot tell";
    }
    return installed ? L"installed" : L"not installed";
}

}  // namespace kestrum::reports
