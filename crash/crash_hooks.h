#pragma once

#include <windows.h>

namespace kestrum::crash {

enum class crash_kind {
    unhandled_exception,  // a structured exception, or a C++ exception nobody caught
    abort,                // abort() with no C++ exception under way on its thread
};

// Why the process is dying: what happened, the code it ends with, the frame to
// blame (the first one in the add-in's own code rather than the system's
// libraries or a C++ runtime beside it) and that frame's module.
struct crash_details {
    crash_kind kind = crash_kind::unhandled_exception;
    DWORD code = 0;
    const void* address = nullptr;
    const wchar_t* module_path = L"";  // empty when unknown
};

// Writes the report of a crash. Called at most twice, on the dying thread:
// a second call, with only what was known before any name was looked up,
// follows when the first faulted. It must not block, take a lock the dying
// process may hold, or use the heap.
class crash_writer {
public:
    crash_writer() = default;
    crash_writer(const crash_writer&) = delete;
    crash_writer& operator=(const crash_writer&) = delete;
    crash_writer(crash_writer&&) = delete;
    crash_writer& operator=(crash_writer&&) = delete;
    virtual ~crash_writer() = default;

    virtual void write(const crash_details& crash) noexcept = 0;
};

// Hooks the ways an add-in can take the process down: a structured exception
// nobody handles (an access violation, say), and abort(), which is also where
// a C++ exception nobody catches ends. The report is written through |writer|,
// then the process ends with the exception code. While the add-in is healthy,
// the hooks only note each C++ throw into fixed per-thread storage.
void install_crash_hooks(crash_writer& writer) noexcept;

// From now on a crash ends the process without a report.
void stop_crash_reports() noexcept;

}  // namespace kestrum::crash
