#include "logging/record_gate.h"

namespace kestrum::logging {
namespace {

// Long enough for a write already under way to reach the disk or the pipe,
// short enough that a stuck writer cannot keep the crash report waiting.
constexpr ULONGLONG drain_limit_ms = 200;

}  // namespace

bool record_gate::enter() noexcept {
    if (state_.fetch_add(1) & closed_flag) {
        state_.fetch_sub(1);
        return false;
    }
    // One writer thread at a time is the run's way of logging; with two at
    // once the later one's name stands, and a drain called from inside the
    // other waits out its bounded time instead of ending at once.
    writer_.store(::GetCurrentThreadId(), std::memory_order_relaxed);
    return true;
}

void record_gate::leave() noexcept {
    writer_.store(0, std::memory_order_relaxed);
    state_.fetch_sub(1);
}

void record_gate::close_and_drain() noexcept {
    state_.fetch_or(closed_flag);
    const bool caller_inside = writer_.load(std::memory_order_relaxed) == ::GetCurrentThreadId();
    const long others_done = closed_flag | (caller_inside ? 1 : 0);
    const ULONGLONG started = ::GetTickCount64();
    while (state_.load() != others_done && ::GetTickCount64() - started < drain_limit_ms) {
        ::SwitchToThread();
    }
}

}  // namespace kestrum::logging
