#include "checks/runtime_listing.h"

#include "checks/assembly_listing.h"
#include "logging/platform_text.h"
#include "platform/clr_interfaces.h"
#include "platform/com_owners.h"
#include "platform/grown_buffer.h"

#include <spdlog/logger.h>

#include <cwchar>
#include <string>

namespace kestrum::checks {
namespace {

// Real versions ("v4.0.30319") fit the first buffer with room to spare.
constexpr DWORD version_capacity = 50;

// A step on the way to a runtime's assemblies: recorded, and the walk stops
// at a failure or at a reference the platform did not fill in.
bool step_succeeded(run_status& status, HRESULT result) {
    status.record(result);
    return SUCCEEDED(result);
}

template <typename Owner>
bool step_succeeded(run_status& status, HRESULT result, const Owner& reference) {
    return step_succeeded(status, result) && static_cast<bool>(reference);
}

void write_runtime_version(spdlog::logger& log, ICLRRuntimeInfo& runtime_info) {
    const std::wstring version = platform::grown_text(
        [&runtime_info](wchar_t* buffer, DWORD capacity) {
            DWORD size = capacity;
            // Only the text up to its terminator matters; a buffer the call
            // never wrote reads empty. A short one is told the size needed.
            static_cast<void>(runtime_info.GetVersionString(buffer, &size));
            return platform::filled{static_cast<DWORD>(::wcsnlen(buffer, capacity)), size > capacity ? size : 0};
        },
        {.first = version_capacity});
    log.info(logging::escaped_message("  Running using CLR Runtime ", version).view());
}

void list_runtime(spdlog::logger& log, IUnknown& runtime, run_status& status) {
    platform::unique_com_ref<ICLRRuntimeInfo> runtime_info;
    if (!step_succeeded(status, runtime.QueryInterface(platform::IID_ICLRRuntimeInfo, runtime_info.put_void()),
                        runtime_info)) {
        return;
    }

    write_runtime_version(log, *runtime_info);

    platform::unique_com_ref<ICorRuntimeHost> runtime_host;
    if (!step_succeeded(status,
                        runtime_info->GetInterface(platform::CLSID_CorRuntimeHost, platform::IID_ICorRuntimeHost,
                                                   runtime_host.put_void()),
                        runtime_host)) {
        return;
    }
    if (!step_succeeded(status, runtime_host->Start())) {
        return;
    }

    platform::unique_com_ref<IUnknown> domain_object;
    if (!step_succeeded(status, runtime_host->GetDefaultDomain(domain_object.put()), domain_object)) {
        return;
    }
    platform::unique_com_ref<_AppDomain> domain;
    if (!step_succeeded(status, domain_object.query_to(platform::IID__AppDomain, domain), domain)) {
        return;
    }

    platform::unique_safearray assemblies;
    if (!step_succeeded(status, domain->GetAssemblies(assemblies.put()), assemblies)) {
        return;
    }
    list_assemblies(log, assemblies, status);
}

}  // namespace

void list_managed_runtimes(spdlog::logger& log, platform::clr_hosting& hosting, run_status& status) {
    platform::unique_com_ref<ICLRMetaHost> meta_host;
    if (!step_succeeded(status, hosting.create_meta_host(meta_host.put()), meta_host)) {
        return;
    }
    platform::unique_com_ref<IEnumUnknown> runtimes;
    if (!step_succeeded(status, meta_host->EnumerateLoadedRuntimes(hosting.current_process(), runtimes.put()),
                        runtimes)) {
        return;
    }

    for (;;) {
        platform::unique_com_ref<IUnknown> runtime;
        ULONG fetched = 0;
        if (runtimes->Next(1, runtime.put(), &fetched) != S_OK || fetched == 0 || !runtime) {
            break;
        }
        list_runtime(log, *runtime, status);
    }
}

}  // namespace kestrum::checks
