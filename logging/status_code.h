#pragma once

#include <windows.h>

#include <cstdint>

namespace kestrum::logging {

// Status codes are printed through "{:08X}" as their unsigned 32-bit value, so
// a failure reads 80131515 and never as a negative decimal.
constexpr std::uint32_t status_code(HRESULT result) noexcept { return static_cast<std::uint32_t>(result); }

// The run's error verdict. The crash report writes it too, without the logger.
inline constexpr char error_verdict_format[] = "An error occurred. HRESULT=0x{:08X}";

}  // namespace kestrum::logging
