#pragma once

// The time now, and a time as this machine's local time, behind an interface
// so that tests can fix both.

#include <windows.h>

#include <cstdint>
#include <optional>

namespace kestrum::platform {

// 100-nanosecond ticks since 1601-01-01 UTC, as a FILETIME counts them.
using file_time = std::uint64_t;

class local_clock {
public:
    virtual ~local_clock() = default;

    // GetSystemTimeAsFileTime.
    virtual file_time now() = 0;
    // |time| in local time, as this process's C runtime gives it for the
    // log's own timestamps (localtime_s); none for a time the runtime does not
    // convert: before 1970 or after the year 3000.
    virtual std::optional<SYSTEMTIME> local_time(file_time time) = 0;
};

// The real calls of kernel32 and the C runtime.
local_clock& system_local_clock();

}  // namespace kestrum::platform
