#pragma once

// Ctrl+C, Ctrl+Break and a closed console window go to every process on the
// console, and the default handler ends each one at once: the watcher would
// die with the worker and the log would end without a verdict. So the
// watcher handles them, outlives the worker and says what ended the run.

#include <windows.h>

#include <string>
#include <vector>

namespace kestrum::watch {

enum class console_interrupt { none, ctrl_c, ctrl_break, window_closed };

// The verdict's code, and the watcher's exit status, of an interrupted run.
inline constexpr DWORD interrupted_run_code = 0x800704C7;  // HRESULT_FROM_WIN32(ERROR_CANCELLED)

// Installs the watcher's handler for these events, once.
void listen_for_console_interrupts();

// What the handler does on the thread the system creates for it: notes the
// first event that interrupts a run and wakes the watcher. False for any
// other event, which is left to the next handler.
bool note_console_event(DWORD ctrl_type) noexcept;

console_interrupt console_interrupt_received() noexcept;

// Waits up to |timeout_ms| for |worker| to end or an interrupt to come;
// WAIT_TIMEOUT when neither happened.
DWORD wait_for_worker_or_interrupt(HANDLE worker, DWORD timeout_ms);

// The interrupt that ended the run of |worker|, or none. A worker that died
// without its verdict as the default handler ends a process is given a
// moment for the same event to reach here too: the system hands it to each
// process on the console in no set order.
console_interrupt interrupt_of_run(HANDLE worker, bool verdict_written);

// The records an interrupted run ends with, its verdict last.
std::vector<std::string> interrupted_run_records(console_interrupt interrupt);

}  // namespace kestrum::watch
