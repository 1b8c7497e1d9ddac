#pragma once

#include "checks/run_status.h"
#include "platform/com_owners.h"
#include "platform/com_runtime.h"
#include "reports/addin_prog_id.h"
#include "reports/object_interfaces.h"

#include <optional>

namespace spdlog {
class logger;
}

namespace kestrum::checks {

using reports::addin_prog_id;

// The created add-in object. Holding it keeps the add-in's server, and all
// it loaded, in the process while the listings run. Tearing it down releases
// the object first and then leaves the apartment it was created in.
class addin_instance {
public:
    addin_instance(platform::com_runtime& com, platform::unique_com_ref<IUnknown> object) noexcept;
    addin_instance(addin_instance&& other) noexcept;
    addin_instance& operator=(addin_instance&&) = delete;
    addin_instance(const addin_instance&) = delete;
    addin_instance& operator=(const addin_instance&) = delete;
    ~addin_instance();

    void tear_down() noexcept;

    // Asks the object once for IDTExtensibility2 and IRibbonExtensibility,
    // through which PowerPoint connects it, and releases each answer at once:
    // nothing is called on them, and the run status is not touched.
    reports::object_interfaces connect_interfaces() const noexcept;

private:
    platform::com_runtime* com_;
    platform::unique_com_ref<IUnknown> object_;
};

// Joins the multithreaded apartment and creates the add-in in-process. On
// failure the error record is written, the status holds the code, and COM is
// left as it is: the run goes straight to its verdict.
std::optional<addin_instance> activate_addin(spdlog::logger& log, platform::com_runtime& com, run_status& status);

}  // namespace kestrum::checks
