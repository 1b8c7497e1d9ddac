#pragma once

// The one shape of the run's verdict, "Done." or "An error occurred.
// HRESULT=0x........", read back from a record's level and message.

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrum::logging {

// The verdict's code (0 for "Done.") when |level| and |message| are a verdict.
std::optional<std::uint32_t> verdict_code_of(std::string_view level, std::string_view message);

}  // namespace kestrum::logging
