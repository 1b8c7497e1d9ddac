#pragma once

// How "Pexlo.PowerPoint.Addin" is registered, read once for both registry
// views: the ProgID per scope, the classes it names with their servers, and
// where the loader finds each server's file. The reports format this value;
// none of them reads the registration on its own.

#include "reports/registry_value.h"
#include "platform/file_facts.h"
#include "platform/process_context.h"
#include "platform/registry.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kestrum::reports {

// Where COM classes are registered: per user first (it wins), then per machine.
struct class_scope {
    HKEY root;
    const wchar_t* key_name;  // "HKEY_CURRENT_USER\Software\Classes"
    const wchar_t* name;      // "per user"
};

const std::array<class_scope, 2>& class_scopes();

// A file a registration names, as a program of the registry view's bitness
// finds it.
struct located_file {
    // The file looked at: in the view's system folder where the value names
    // System32; where the search found it; the name itself when it was
    // searched for and found nowhere.
    std::wstring path;
    bool exists = false;
    bool searched = false;  // named without a full path, so the loader searched for it
    enum class found_in { named_path, system_folder, search_path, program_folder, working_folder };
    found_in place = found_in::named_path;  // with exists
    std::vector<std::wstring> looked_in;    // searched and not found: each folder once, in order
};

// The InprocServer32 key of one class key.
struct server_registration {
    registry_value server;             // its default value
    std::wstring expanded;             // REG_EXPAND_SZ: the value expanded; empty when that failed
    bool quoted = false;               // the name was in quotes, which COM drops with anything after them
    std::optional<located_file> file;  // none when the value names no file
    registry_value threading_model;
    bool managed = false;  // the server is mscoree.dll: a .NET class, read from the values below
    registry_value class_name;
    registry_value assembly;
    registry_value runtime_version;
    registry_value code_base;
    std::optional<located_file> code_base_file;  // the file its CodeBase URL names
};

// A class key in one scope.
struct class_reading {
    const class_scope* scope = nullptr;
    LSTATUS opened = ERROR_SUCCESS;  // the key is there; another status when it cannot be read
    server_registration server;      // with opened ERROR_SUCCESS
};

struct class_registration {
    std::wstring class_id;
    // By registry view: this edition's, then the other; in each the scopes
    // that have the class, per user first.
    std::array<std::vector<class_reading>, 2> views;

    const std::vector<class_reading>& in(platform::registry_view view) const;
};

// The ProgID's key in one scope.
struct prog_id_reading {
    const class_scope* scope = nullptr;
    LSTATUS opened = ERROR_SUCCESS;
    registry_value class_id;         // CLSID
    registry_value current_version;  // CurVer
    // CurVer's own CLSID, read where the ProgID names no class of its own.
    std::optional<registry_value> current_version_class_id;
};

// The class COM uses in a view, in the plain values later reports take.
struct used_class {
    std::wstring class_id;
    std::wstring server_path;  // as the loader finds it; empty when the registration names none
    bool server_exists = false;
    bool managed = false;
    std::wstring runtime_version;  // with managed; empty when it is no text
    std::wstring code_base_path;   // with managed; empty without a CodeBase
    bool code_base_exists = false;
};

struct addin_registration {
    bool elevated = false;
    // Read in this edition's view: Windows keeps one ProgID key for both.
    std::vector<prog_id_reading> prog_ids;
    // Each class ID the ProgID names, once, per user first.
    std::vector<class_registration> classes;

    // The server of the class COM uses in |view|: the first class ID's, per
    // user before per machine; none when there is no readable one.
    const server_registration* used_server(platform::registry_view view) const;
    std::optional<used_class> used(platform::registry_view view) const;
};

addin_registration read_addin_registration(platform::registry& registry, platform::process_context& context,
                                           platform::file_facts& files);

}  // namespace kestrum::reports
