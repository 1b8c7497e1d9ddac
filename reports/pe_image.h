#pragma once

// What a program file says it needs, read from its bytes: its machine, the
// libraries its import and delay-import tables name and, for a .NET
// assembly, whether it runs in a process of either bitness. The file is
// read through the file seam, never mapped, loaded or run; every offset it
// holds is checked against its size before it is read.

#include "platform/file_facts.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kestrum::reports {

struct pe_image {
    // Empty when the file is a PE image whose tables could be read;
    // otherwise why not ("no such file", "not a PE image", ...).
    std::wstring unreadable;
    WORD machine = 0;
    // A .NET assembly of IL only that is not marked 32-bit only: it loads
    // into a process of either bitness whatever its Machine says.
    bool any_cpu = false;
    // The library names of the import table, then of the delay-import table,
    // each in the file's order, as the file spells them.
    std::vector<std::wstring> imports;
    std::vector<std::wstring> delay_imports;
};

// No table is read past this many entries: far more than any real image holds.
inline constexpr std::size_t max_import_entries = 4096;

pe_image read_pe_image(platform::file_facts& files, const std::wstring& path);

}  // namespace kestrum::reports
