#pragma once

// The calling thread's environment block, read through the segment register
// as NtCurrentTeb does: no call, no lock.

#include <windows.h>
#include <winternl.h>

namespace kestrum::crash {

#if defined(__GNUC__)
// GCC takes the fixed offset read from the segment register for an access to
// a zero-length array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif

inline const NT_TIB* current_thread_block() noexcept { return reinterpret_cast<const NT_TIB*>(::NtCurrentTeb()); }

inline const PEB* current_process_block() noexcept { return ::NtCurrentTeb()->ProcessEnvironmentBlock; }

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace kestrum::crash
