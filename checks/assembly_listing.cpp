#include "checks/assembly_listing.h"

#include "logging/platform_text.h"
#include "logging/status_code.h"
#include "platform/clr_interfaces.h"

#include <spdlog/logger.h>

#include <cstdint>

namespace kestrum::checks {
namespace {

// The answer of an assembly that was loaded from memory and has no file.
constexpr HRESULT location_not_supported = static_cast<HRESULT>(0x80131515L);

struct array_bounds {
    LONG lower = 0;
    LONG upper = -1;
};

// Whether oleaut32 holds the elements as interface pointers, which it hands
// out with a reference of their own. That is the features' answer, not
// SafeArrayGetVartype's: the runtime builds its assembly array as VT_DISPATCH
// (an IID, then FADF_DISPATCH), which Wine reports as VT_DISPATCH and
// Windows, for any array with an IID, as VT_UNKNOWN.
bool holds_interface_pointers(const SAFEARRAY& array) {
    constexpr USHORT interface_features = FADF_UNKNOWN | FADF_DISPATCH;
    constexpr USHORT other_features = FADF_BSTR | FADF_VARIANT | FADF_RECORD;
    return (array.fFeatures & interface_features) != 0 && (array.fFeatures & other_features) == 0;
}

// Elements are read by one index as pointers: any other shape would be
// misread.
HRESULT check_shape(SAFEARRAY* array) {
    const bool readable = holds_interface_pointers(*array) && ::SafeArrayGetDim(array) == 1 &&
                          ::SafeArrayGetElemsize(array) == sizeof(IUnknown*);
    return readable ? S_OK : E_INVALIDARG;
}

HRESULT read_bounds(SAFEARRAY* array, array_bounds& bounds) {
    HRESULT result = ::SafeArrayGetLBound(array, 1, &bounds.lower);
    if (SUCCEEDED(result)) {
        result = ::SafeArrayGetUBound(array, 1, &bounds.upper);
    }
    return result;
}

// The element at |index| after checking it still lies within the array's
// bounds; the array belongs to the platform, which might change it.
HRESULT read_element(SAFEARRAY* array, LONG index, platform::unique_com_ref<IUnknown>& element) {
    array_bounds bounds;
    if (const HRESULT result = read_bounds(array, bounds); FAILED(result)) {
        return result;
    }
    if (index < bounds.lower || index > bounds.upper) {
        return E_INVALIDARG;
    }
    return ::SafeArrayGetElement(array, &index, element.put());
}

void list_assembly(spdlog::logger& log, IUnknown& element, LONG index, run_status& status) {
    platform::unique_com_ref<_Assembly> assembly;
    if (FAILED(element.QueryInterface(platform::IID__Assembly, assembly.put_void())) || !assembly) {
        return;
    }

    platform::unique_bstr name;
    const HRESULT named = assembly->get_FullName(name.put());
    status.record(named);
    if (FAILED(named)) {
        log.error("    Failed to get assembly name at index {}. HRESULT=0x{:08X}", index, logging::status_code(named));
        return;
    }
    log.info(logging::escaped_message("  ", name.view()).view());

    platform::unique_bstr location;
    const HRESULT located = assembly->get_Location(location.put());
    if (located == location_not_supported) {
        return;
    }
    status.record(located);
    if (FAILED(located)) {
        log.error("    Failed to get assembly location. HRESULT=0x{:08X}", logging::status_code(located));
        return;
    }
    log.info(logging::escaped_message("    Path: ", location.view()).view());
}

void report_malformed_array(spdlog::logger& log, HRESULT result, run_status& status) {
    status.record(result);
    log.error("    Failed to read the assembly list. HRESULT=0x{:08X}", logging::status_code(result));
}

}  // namespace

void list_assemblies(spdlog::logger& log, platform::unique_safearray& assemblies, run_status& status) {
    SAFEARRAY* array = assemblies.get();

    array_bounds bounds;
    HRESULT result = check_shape(array);
    if (SUCCEEDED(result)) {
        assemblies.lock();
        result = read_bounds(array, bounds);
    }
    if (FAILED(result)) {
        report_malformed_array(log, result, status);
        assemblies.reset();
        return;
    }

    log.info("");
    log.info("List of assemblies in default AppDomain:");

    for (std::int64_t index = bounds.lower; index <= bounds.upper; ++index) {
        const auto element_index = static_cast<LONG>(index);
        platform::unique_com_ref<IUnknown> element;
        if (result = read_element(array, element_index, element); FAILED(result)) {
            report_malformed_array(log, result, status);
            break;
        }
        if (element) {
            list_assembly(log, *element, element_index, status);
        }
    }
    assemblies.reset();
}

}  // namespace kestrum::checks
