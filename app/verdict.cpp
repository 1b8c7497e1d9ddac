#include "app/verdict.h"

#include "logging/status_code.h"

#include <spdlog/logger.h>

namespace kestrum::app {

void write_verdict(spdlog::logger& log, const checks::run_status& status, handoff::publisher publish) {
    publish.verdict(status.failed() ? logging::status_code(status.code()) : 0);
    if (status.failed()) {
        log.error(logging::error_verdict_format, logging::status_code(status.code()));
    } else {
        log.info("Done.");
    }
}

}  // namespace kestrum::app
