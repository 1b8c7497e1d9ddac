#pragma once

// The add-in's entries with PowerPoint, Software\Microsoft\Office\PowerPoint
// \Addins\<ProgID> per user, per machine, and in Click-to-Run's copy of the
// machine's registry: written as records and kept for the conclusion.

#include "reports/load_conclusion.h"
#include "platform/file_facts.h"
#include "platform/registry.h"

#include <windows.h>

#include <optional>
#include <string>

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Where an entry is looked for and how its records name it.
struct entry_place {
    HKEY root;
    std::wstring subkey;  // below |root|
    platform::registry_view view;
    std::wstring heading;                // "  Add-in entry per user, in HKEY_...:" without the colon
    std::optional<std::wstring> absent;  // the record when there is none; no record at all when none
};

struct entry_report {
    entry_facts facts;
    std::optional<std::wstring> friendly_name;
};

// Writes the entry's records: its heading and each value, or that there is none.
entry_report report_addin_entry(spdlog::logger& log, platform::registry& registry, platform::file_facts& files,
                                const entry_place& place);

// What a LoadBehavior value means to Office.
std::wstring load_behavior_meaning(DWORD value);

// The file a Manifest value names: without a trailing "|vstolocal", a
// "file:///" URL read as the path it stands for.
std::wstring manifest_path(const std::wstring& manifest);

}  // namespace kestrum::reports
