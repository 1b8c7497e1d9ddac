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

// IDTExtensibility2 of the Office add-in designer library, and Office's
// IRibbonExtensibility: the interfaces PowerPoint asks a COM add-in for.
constexpr IID extensibility_iid = {0xB65AD801, 0xABAF, 0x11D0, {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};
constexpr IID ribbon_iid = {0x000C0396, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

bool report_failure(spdlog::logger& log, run_status& status, HRESULT result, const char* what) {
    status.record(result);
    if (SUCCEEDED(result)) {
        return false;
    }
    log.error("Error (HRESULT=0x{:08X}): {}", logging::status_code(result), what);
    return true;
}

}  // namespace

reports::object_interfaces addin_instance::connect_interfaces() const noexcept {
    reports::object_interfaces found;
    if (!object_) {
        return found;
    }
    platform::unique_com_ref<IUnknown> answer;
    found.extensibility = object_.query_to(extensibility_iid, answer);
    // A server that claims success without an interface does not implement it.
    if (SUCCEEDED(*found.extensibility) && !answer) {
        found.extensibility = E_POINTER;
    }
    answer.reset();
    found.ribbon = SUCCEEDED(object_.query_to(ribbon_iid, answer)) && answer;
    return found;
}

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
