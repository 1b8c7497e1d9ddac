#include "checks/addin_activation.h"

#include "logging/status_code.h"

#include <spdlog/logger.h>

#include <utility>

namespace kestrum::checks {

addin_instance::addin_instance(platform::com_runtime& com, platform::unique_com_ref<IUnknown> object) noexcept
    : com_(&com), object_(std::move(object)) {}

addin_instance::addin_instance(addin_instance&& other) noexcept
    : com_(std::exchange(other.com_, nullptr)), object_(std::move(other.object_)) {}

addin_instance::~addin_instance() { tear_down(); }

void addin_instance::tear_down() noexcept {
    if (platform::com_runtime* com = std::exchange(com_, nullptr)) {
        object_.reset();
        com->uninitialize();
    }
}

namespace {

bool report_failure(spdlog::logger& log, run_status& status, HRESULT result, const char* what) {
    status.record(result);
    if (SUCCEEDED(result)) {
        return false;
    }
    log.error("Error (HRESULT=0x{:08X}): {}", logging::status_code(result), what);
    return true;
}

}  // namespace

std::optional<addin_instance> activate_addin(spdlog::logger& log, platform::com_runtime& com, run_status& status) {
    if (report_failure(log, status, com.initialize_multithreaded(), "Failed to initialize COM.")) {
        return std::nullopt;
    }

    CLSID addin_class{};
    if (report_failure(log, status, com.class_id_from_prog_id(addin_prog_id, &addin_class),
                       "Failed to get class ID (CLSID) for 'Pexlo.PowerPoint.Addin' object.")) {
        return std::nullopt;
    }

    platform::unique_com_ref<IUnknown> object;
    HRESULT created = com.create_inproc_instance(addin_class, object.put());
    // A server that reports success without an object is broken; holding
    // "nothing" through the listings would only crash the teardown.
    if (SUCCEEDED(created) && !object) {
        created = E_POINTER;
    }
    if (report_failure(log, status, created, "Failed to create instance of 'Pexlo.PowerPoint.Addin' object.")) {
        return std::nullopt;
    }
    return addin_instance(com, std::move(object));
}

}  // namespace kestrum::checks
