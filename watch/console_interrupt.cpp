#include "watch/console_interrupt.h"

#include "logging/status_code.h"

#include <fmt/format.h>

#include <array>
#include <atomic>

namespace kestrum::watch {
namespace {

// How a process ends that the default handler ended (STATUS_CONTROL_C_EXIT);
// Wine's default handler ends it with 0.
constexpr DWORD ended_by_console_event = 0xC000013A;
constexpr DWORD ended_by_console_event_under_wine = 0;
// How long to wait for an event that has already ended the worker.
constexpr DWORD event_grace_ms = 1000;

// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): written by the handler thread
std::atomic<console_interrupt> received{console_interrupt::none};
// Made before the handler is installed and never closed: the handler may run
// at any moment of this process's life.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): shared with the handler thread
HANDLE interrupt_came = nullptr;

BOOL WINAPI on_console_event(DWORD ctrl_type) {
    if (!note_console_event(ctrl_type)) {
        return FALSE;
    }
    if (ctrl_type == CTRL_CLOSE_EVENT) {
        // The system ends the process as soon as this returns: keep the
        // thread while the watcher ends the worker and writes, until this
        // process exits or the system's time is up.
        ::Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

void listen_for_console_interrupts() {
    if (interrupt_came != nullptr) {
        return;
    }
    interrupt_came = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (interrupt_came != nullptr) {
        ::SetConsoleCtrlHandler(on_console_event, TRUE);
    }
}

bool note_console_event(DWORD ctrl_type) noexcept {
    console_interrupt interrupt = console_interrupt::none;
    switch (ctrl_type) {
        case CTRL_C_EVENT:
            interrupt = console_interrupt::ctrl_c;
            break;
        case CTRL_BREAK_EVENT:
            interrupt = console_interrupt::ctrl_break;
            break;
        case CTRL_CLOSE_EVENT:
            interrupt = console_interrupt::window_closed;
            break;
        default:
            return false;
    }
    console_interrupt none = console_interrupt::none;
    received.compare_exchange_strong(none, interrupt);
    if (interrupt_came != nullptr) {
        ::SetEvent(interrupt_came);
    }
    return true;
}

console_interrupt console_interrupt_received() noexcept { return received.load(); }

DWORD wait_for_worker_or_interrupt(HANDLE worker, DWORD timeout_ms) {
    if (interrupt_came == nullptr) {
        return ::WaitForSingleObject(worker, timeout_ms);
    }
    const std::array<HANDLE, 2> waited{worker, interrupt_came};
    return ::WaitForMultipleObjects(static_cast<DWORD>(waited.size()), waited.data(), FALSE, timeout_ms);
}

console_interrupt interrupt_of_run(HANDLE worker, bool verdict_written) {
    DWORD exit_code = 0;
    if (received.load() == console_interrupt::none && interrupt_came != nullptr && !verdict_written &&
        ::GetExitCodeProcess(worker, &exit_code) &&
        (exit_code == ended_by_console_event || exit_code == ended_by_console_event_under_wine)) {
        ::WaitForSingleObject(interrupt_came, event_grace_ms);
    }
    return received.load();
}

std::vector<std::string> interrupted_run_records(console_interrupt interrupt) {
    const char* const what = interrupt == console_interrupt::ctrl_c       ? "Ctrl+C"
                             : interrupt == console_interrupt::ctrl_break ? "Ctrl+Break"
                                                                          : "the console window was closed";
    return {fmt::format("The run was interrupted ({}) before its verdict.", what),
            fmt::format(logging::error_verdict_format, interrupted_run_code)};
}

}  // namespace kestrum::watch
