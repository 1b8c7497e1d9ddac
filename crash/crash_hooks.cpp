#include "crash/crash_hooks.h"

#include "crash/cxx_throws.h"
#include "crash/loaded_module.h"
#include "platform/grown_buffer.h"
#include "crash/stack_walk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <span>

namespace kestrum::crash {
namespace {

// The code abort() ends a process with on Windows.
constexpr DWORD fatal_app_exit = 0x40000015;
// The severity bits of an exception code that mean an error.
constexpr DWORD error_severity = 0xC0000000;
constexpr int frames_to_search = 62;
// A second crash on another thread waits this long for the first report
// before it ends the process itself.
constexpr DWORD report_time_limit_ms = 10000;

// Exception and signal handlers get no context of their own: what they share
// lives here, set up while the process is healthy.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables): see above
std::atomic<crash_writer*> installed_writer{nullptr};
std::atomic<DWORD> reporting_thread{0};
std::atomic<int> faults_while_reporting{0};
crash_details first_report;  // what was known before any name was looked up
std::array<wchar_t, platform::longest_name_capacity> blamed_module{};
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

[[noreturn]] void end_process(DWORD code) noexcept {
    ::TerminateProcess(::GetCurrentProcess(), code);
    for (;;) {
        ::Sleep(INFINITE);
    }
}

[[noreturn]] void end_with_first_report() noexcept {
    // A fault in here as well ends the process at once.
    if (faults_while_reporting.fetch_add(1) == 0) {
        if (crash_writer* writer = installed_writer.load()) {
            writer->write(first_report);
        }
    }
    end_process(first_report.code);
}

// Makes the calling thread the one that reports. Another thread crashing at
// the same time leaves the report to the first one.
void claim_report(const crash_details& known) noexcept {
    const DWORD me = ::GetCurrentThreadId();
    DWORD nobody = 0;
    if (reporting_thread.compare_exchange_strong(nobody, me)) {
        first_report = known;
        return;
    }
    if (nobody == me) {
        end_with_first_report();
    }
    ::Sleep(report_time_limit_ms);
    end_process(first_report.code);
}

[[noreturn]] void finish_report(const crash_details& crash) noexcept {
    if (crash_writer* writer = installed_writer.load()) {
        writer->write(crash);
    }
    end_process(crash.code);
}

// Picks the frame to blame: the first in code that is neither the system's,
// a language runtime's nor this program's. Fills |crash| with its address
// and module. This program is never blamed for a frame it merely passed
// through: a failure it did not raise itself is the add-in's or unknown.
bool blame_first_foreign_frame(std::span<const stack_frame> frames, crash_details& crash) noexcept {
    for (const stack_frame& frame : frames) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): a return address, an integer in the CPU context
        const auto* address = reinterpret_cast<const void*>(frame.pc);
        if (owner_of(address, blamed_module) == code_owner::other) {
            crash.address = address;
            crash.module_path = blamed_module.data();
            return true;
        }
    }
    return false;
}

// Without a foreign frame, the code at |address| is where it happened, be it
// this program's own: a fault there is one it raised itself.
void blame_where_it_happened(const void* address, crash_details& crash) noexcept {
    crash.address = address;
    module_path_at(address, blamed_module);
    crash.module_path = blamed_module.data();
}

LONG CALLBACK watch_exceptions(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.ExceptionCode == gcc_cxx_exception || record.ExceptionCode == msvc_cxx_exception) {
        record_cxx_throw(record, *exception->ContextRecord);
    } else if ((record.ExceptionCode & error_severity) == error_severity &&
               reporting_thread.load() == ::GetCurrentThreadId()) {
        end_with_first_report();
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI report_unhandled_exception(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    crash_details crash;
    crash.code = record.ExceptionCode;
    crash.address = record.ExceptionAddress;
    claim_report(crash);

    std::array<stack_frame, frames_to_search> frames;
    const int count = unwind_frames(*exception->ContextRecord, frames);
    if (!blame_first_foreign_frame(std::span(frames).first(static_cast<std::size_t>(count)), crash)) {
        blame_where_it_happened(record.ExceptionAddress, crash);
    }
    finish_report(crash);
}

void report_abort(int) {
    crash_details crash;
    crash.kind = crash_kind::abort;
    crash.code = fatal_app_exit;
    claim_report(crash);

    // A C++ exception nobody caught also ends here, from inside its throw.
    if (const cxx_throw* uncaught = throw_under_way_on_this_thread()) {
        crash.kind = crash_kind::unhandled_exception;
        crash.code = uncaught->code;
        const std::span<const stack_frame> outward = uncaught->from_thrower();
        if (!blame_first_foreign_frame(outward, crash)) {
            // NOLINTNEXTLINE(performance-no-int-to-ptr): a return address, an integer in the CPU context
            blame_where_it_happened(reinterpret_cast<const void*>(outward.front().pc), crash);
        }
        finish_report(crash);
    }

    std::array<void*, frames_to_search> return_addresses{};
    const WORD count = ::RtlCaptureStackBackTrace(0, frames_to_search, return_addresses.data(), nullptr);
    std::array<stack_frame, frames_to_search> frames;
    std::ranges::transform(return_addresses, frames.begin(), [](void* address) {
        return stack_frame{reinterpret_cast<std::uintptr_t>(address), 0, 0};
    });
    // No frame of the add-in's (a runtime beside it may keep no frame
    // pointers to walk through): the caller stays unknown.
    blame_first_foreign_frame(std::span(frames).first(count), crash);
    finish_report(crash);
}

}  // namespace

void install_crash_hooks(crash_writer& writer) noexcept {
    remember_own_modules();
    remember_raise_modules();
    installed_writer.store(&writer);
    ::SetUnhandledExceptionFilter(report_unhandled_exception);
    ::AddVectoredExceptionHandler(1, watch_exceptions);
    // Best effort: without it an abort still ends the process, unreported.
    static_cast<void>(std::signal(SIGABRT, report_abort));
}

void stop_crash_reports() noexcept { installed_writer.store(nullptr); }

}  // namespace kestrum::crash
