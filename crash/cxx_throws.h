#pragma once

// What the crash path needs to know about C++ exceptions: which one, if any,
// was still on its way up when a thread gave up. Recording happens on every
// throw of every thread, so it is constant work into fixed storage: no lock,
// no allocation, no loader call.

#include "crash/stack_walk.h"

#include <windows.h>

#include <array>
#include <span>

namespace kestrum::crash {

// Exception codes the C++ runtimes raise for a throw: GCC's and Microsoft's.
inline constexpr DWORD gcc_cxx_exception = 0x20474343;
inline constexpr DWORD msvc_cxx_exception = 0xE06D7363;

inline constexpr int recorded_throw_frames = 8;

struct cxx_throw {
    DWORD code = 0;
    ULONG_PTR exception_object = 0;
    int thrower = 0;  // index of the frame of the code that threw
    int frame_count = 0;
    std::array<stack_frame, recorded_throw_frames> frames;  // from the raise outward

    // The frames from the code that threw outward; empty when not known.
    std::span<const stack_frame> from_thrower() const noexcept {
        if (thrower < 0 || thrower >= frame_count) {
            return {};
        }
        return std::span(frames).subspan(static_cast<std::size_t>(thrower),
                                         static_cast<std::size_t>(frame_count - thrower));
    }
};

// Remembers, while the process is healthy, the system libraries a raise
// passes through on its way into the exception dispatcher.
void remember_raise_modules() noexcept;

// Called for every exception raised with a C++ runtime's code.
void record_cxx_throw(const EXCEPTION_RECORD& raised, const CONTEXT& raised_at) noexcept;

// For a thread that is aborting: the throw recorded on this thread if it is
// still under way, that is, if the frames from the code that threw outward
// are all still on the stack as they were when it threw. A throw that was
// caught has left those frames, and the code that called abort() afterwards
// has overwritten at least the return address of its own call. Null when no
// throw is under way or none was recorded.
const cxx_throw* throw_under_way_on_this_thread() noexcept;

}  // namespace kestrum::crash
