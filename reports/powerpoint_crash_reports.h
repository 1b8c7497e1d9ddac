#pragma once

#include "platform/file_facts.h"
#include "platform/folder_listing.h"
#include "platform/local_clock.h"
#include "reports/disabled_items.h"

#include <string>

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Where the reports are kept.
struct crash_report_places {
    std::wstring program_data;    // %ProgramData%, empty when not known
    std::wstring local_app_data;  // the user's %LocalAppData%, empty when not known
};

// Writes the reports Windows Error Reporting keeps of PowerPoint crashing or
// not responding, newest first, each with what it says of |addin|. Lists
// folders and reads their Report.wer only; reports only in info records and
// never touches the run status.
void report_powerpoint_crash_reports(spdlog::logger& log, const crash_report_places& places,
                                     const addin_identity& addin, platform::folder_listing& folders,
                                     platform::file_facts& files, platform::local_clock& clock);

}  // namespace kestrum::reports
