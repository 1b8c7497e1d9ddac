#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

namespace kestrum::crash {

// One frame of a thread's stack: where it executes (for an outer frame, the
// return address), its stack pointer there and the base of the image its code
// lies in (0 when not known).
struct stack_frame {
    std::uintptr_t pc = 0;
    std::uintptr_t sp = 0;
    std::uintptr_t image_base = 0;
};

// The frames of the calling thread from |context_at_start| outward, as many as
// |frames| holds: on x64 through the unwind data of each function, on x86
// (which keeps none) through the frame-pointer chain. It stops at the first
// frame it cannot unwind rather than guess, and reads nothing outside the
// calling thread's stack. A call through a null or stray pointer faults
// before the callee runs: the first frame is then the faulting address and
// the second the caller's.
int unwind_frames(const CONTEXT& context_at_start, std::span<stack_frame> frames) noexcept;

// True when [address, address + size) lies within the calling thread's stack.
bool on_current_stack(std::uintptr_t address, std::size_t size) noexcept;

}  // namespace kestrum::crash
