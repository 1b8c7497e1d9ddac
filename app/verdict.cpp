#include "app/verdict.h"

#include "logging/status_code.h"

#include <spdlog/logger.h>

namespace kestrum::app {

void write_verdict(spdlog::logger& log, const checks::run_status& status) {
    if (status.failed()) {
        write_error_verdict(log, logging::status_code(status.code()));
    } else {
        log.info("Done.");
    }
}

void write_error_verdict(spdlog::logger& log, std::uint32_t code) {
    log.error("An error occurred. HRESULT=0x{:08X}", code);
}

}  // namespace kestrum::app
