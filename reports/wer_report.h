#pragma once

// One report Windows Error Reporting keeps of a program that crashed or
// stopped responding: the Report.wer file of its report folder, read without
// trusting it, and the record that tells an engineer what it says about the
// add-in.

#include "platform/local_clock.h"
#include "reports/disabled_items.h"

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrum::reports {

// The values of a Report.wer the records use, each as written; empty when
// the file does not hold it.
struct wer_report {
    std::optional<std::wstring> event_time;  // a FILETIME in decimal
    std::wstring event_type;                 // APPCRASH, BEX, BEX64, AppHangB1, ...
    std::wstring application_version;
    std::wstring fault_module;
    std::wstring fault_module_version;
    std::wstring exception_code;
    std::wstring exception_offset;
    std::vector<std::wstring> loaded_modules;
};

// The bytes of a Report.wer: UTF-16LE after a byte-order mark, one Name=Value
// a line. |cut|: the bytes end at the read's bound, not the file's, so a last
// line without its line end is left out. None without the byte-order mark.
std::optional<wer_report> read_wer_report(std::span<const BYTE> bytes, bool cut);

enum class wer_entry_kind { recent, old, unreadable };

struct wer_entry {
    wer_entry_kind kind = wer_entry_kind::unreadable;
    platform::file_time time = 0;  // with kind recent
    std::wstring record;           // with kind recent or unreadable
};

// Report folders older than this are not shown.
inline constexpr unsigned recent_days = 90;

// The record of the report folder |folder| whose Report.wer holds |bytes|
// (|cut| as above), as of |now|: a crash or a hang in local time, what it
// says of |addin|; or why it cannot be read.
wer_entry describe_wer_report(std::span<const BYTE> bytes, bool cut, const std::wstring& folder,
                              const addin_identity& addin, platform::local_clock& clock, platform::file_time now);

}  // namespace kestrum::reports
