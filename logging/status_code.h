#pragma once

#include "logging/known_codes.h"

#include <windows.h>

#include <fmt/format.h>

#include <cstdint>
#include <string_view>

namespace kestrum::logging {

// Status codes are printed through "{:08X}" as their unsigned 32-bit value, so
// a failure reads 80131515 and never as a negative decimal.
constexpr std::uint32_t status_code(HRESULT result) noexcept { return static_cast<std::uint32_t>(result); }

// The run's error verdict. The crash report writes it too, without the logger.
inline constexpr char error_verdict_format[] = "An error occurred. HRESULT=0x{:08X}";

// The watcher's record for a worker that ended without its verdict, with the
// worker's exit code as a described_code.
inline constexpr char ended_before_verdict_format[] = "The process ended before its verdict: exit code {}.";

// A code as the ending records give it: "0xC0000005 (access violation)", or
// bare, "0x00000007", when its meaning is not known. Formatting one writes
// into the destination only, so the crash report can use it.
struct described_code {
    std::uint32_t code;
};

}  // namespace kestrum::logging

template <>
struct fmt::formatter<kestrum::logging::described_code> {
    static constexpr auto parse(fmt::format_parse_context& context) { return context.begin(); }

    template <typename FormatContext>
    auto format(const kestrum::logging::described_code& value, FormatContext& context) const {
        const std::string_view meaning = kestrum::logging::known_code_meaning(value.code);
        if (meaning.empty()) {
            return fmt::format_to(context.out(), "0x{:08X}", value.code);
        }
        return fmt::format_to(context.out(), "0x{:08X} ({})", value.code, meaning);
    }
};
