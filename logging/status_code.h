#pragma once

#include <windows.h>

#include <cstdint>

namespace kestrum::logging {

// Status codes are printed through "{:08X}" as their unsigned 32-bit value, so
// a failure reads 80131515 and never as a negative decimal.
constexpr std::uint32_t status_code(HRESULT result) noexcept { return static_cast<std::uint32_t>(result); }

}  // namespace kestrum::logging
