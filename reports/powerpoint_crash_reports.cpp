#include "reports/powerpoint_crash_reports.h"

#include "logging/platform_text.h"
#include "reports/value_forms.h"
#include "reports/wer_report.h"

#include <spdlog/logger.h>

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace kestrum::reports {
namespace {

using logging::escape_platform_text;

// The folders Windows Error Reporting keeps reports in, under %ProgramData%
// for every user and %LocalAppData% for one: sent ones and queued ones.
constexpr std::array<std::wstring_view, 2> report_folders = {L"Microsoft\\Windows\\WER\\ReportArchive",
                                                             L"Microsoft\\Windows\\WER\\ReportQueue"};
// The names of PowerPoint's report folders, as the file system matches
// them: without regard to case.
constexpr std::array<std::wstring_view, 2> report_names = {L"AppCrash_POWERPNT.EXE_*", L"AppHang_POWERPNT.EXE_*"};
constexpr std::size_t max_folders = 200;
constexpr std::size_t max_report_bytes = std::size_t{64} * 1024;
constexpr std::size_t max_shown = 10;

bool nothing_there(DWORD error) {
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_NO_MORE_FILES;
}

}  // namespace

void report_powerpoint_crash_reports(spdlog::logger& log, const crash_report_places& places,
                                     const addin_identity& addin, platform::folder_listing& folders,
                                     platform::file_facts& files, platform::local_clock& clock) {
    log.info("");
    log.info("PowerPoint's crash reports (Windows Error Reporting):");

    // One "now" for every report, so that all are aged alike.
    const platform::file_time now = clock.now();
    std::vector<wer_entry> entries;
    std::vector<BYTE> bytes(max_report_bytes);
    std::size_t looked_at = 0;
    bool more_folders = false;
    for (const std::wstring* root : {&places.program_data, &places.local_app_data}) {
        if (root->empty()) {
            continue;  // not known: a relative path would name some other folder
        }
        for (const std::wstring_view place : report_folders) {
            const std::wstring folder = joined_path(*root, place);
            for (const std::wstring_view pattern : report_names) {
                const platform::folder_names listed =
                    folders.subfolders(folder, std::wstring(pattern).c_str(), max_folders - looked_at);
                more_folders = more_folders || listed.more;
                if (!nothing_there(listed.error)) {
                    log.info(L"  {}: cannot be read (error {})", escape_platform_text(folder), listed.error);
                    break;
                }
                if (listed.error == ERROR_PATH_NOT_FOUND) {
                    break;  // no such folder: no other name is found in it either
                }
                for (const std::wstring& name : listed.names) {
                    // The pattern may also have matched a folder's short name.
                    if (!starts_with_ignoring_case(name, pattern.substr(0, pattern.size() - 1))) {
                        continue;
                    }
                    ++looked_at;
                    const std::wstring report = joined_path(folder, name);
                    const std::size_t read = files.read_at(joined_path(report, L"Report.wer").c_str(), 0, bytes);
                    entries.push_back(describe_wer_report(std::span(bytes.data(), read), read == bytes.size(), report,
                                                          addin, clock, now));
                }
            }
        }
    }

    std::erase_if(entries, [](const wer_entry& entry) { return entry.kind == wer_entry_kind::old; });
    // Newest first; those that cannot be read, which have no time, last.
    std::stable_sort(entries.begin(), entries.end(), [](const wer_entry& left, const wer_entry& right) {
        return (left.kind == wer_entry_kind::recent && right.kind != wer_entry_kind::recent) ||
               (left.kind == right.kind && left.time > right.time);
    });
    for (std::size_t index = 0; index < entries.size() && index < max_shown; ++index) {
        log.info(L"{}", entries[index].record);
    }
    if (entries.size() > max_shown) {
        log.info("  {} more reports, not shown", entries.size() - max_shown);
    }
    if (more_folders) {
        log.info("  more than {} report folders: the rest were not looked at", max_folders);
    } else if (entries.empty()) {
        log.info("  none kept on this machine");
    }
}

}  // namespace kestrum::reports
