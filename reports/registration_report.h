#pragma once

#include "reports/addin_registration.h"

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Writes, after a failed activation, how "Pexlo.PowerPoint.Addin" is
// registered: where the ProgID is and which class it names, and that class's
// server in both registry views, with whether its files exist. Formats only;
// reports only through the log, in info records, and never touches the run
// status.
void report_registration(spdlog::logger& log, const addin_registration& registration);

}  // namespace kestrum::reports
