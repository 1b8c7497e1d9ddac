#pragma once

// What the well-known exception and exit codes mean, for the person who reads
// a record. The crash report looks a code up while the process ends, so the
// table is constant data and the lookup neither allocates nor throws.

#include <array>
#include <cstdint>
#include <string_view>

namespace kestrum::logging {

struct known_code {
    std::uint32_t code;
    std::string_view meaning;
};

inline constexpr std::array<known_code, 13> known_codes{{
    {0xC0000005, "access violation"},
    {0xC00000FD, "stack overflow"},
    {0xC0000409,
     "fail-fast: the program or its C runtime ended the process at once, as a Visual C++ runtime's abort() does"},
    {0xC0000602, "fail-fast exception"},
    {0xC0000374, "heap corruption"},
    {0xC000013A, "interrupted with Ctrl+C"},
    {0xC0000135, "a DLL was not found"},
    {0xC0000142, "a DLL failed to initialise"},
    {0xC000001D, "illegal instruction"},
    {0x80000003, "breakpoint"},
    {0xE06D7363, "C++ exception (Visual C++)"},
    {0xE0434352, ".NET exception"},
    {0x40000015, "abort()"},
}};

// The meaning of |code|, or empty text for a code not in the table.
constexpr std::string_view known_code_meaning(std::uint32_t code) noexcept {
    for (const known_code& entry : known_codes) {
        if (entry.code == code) {
            return entry.meaning;
        }
    }
    return {};
}

}  // namespace kestrum::logging
