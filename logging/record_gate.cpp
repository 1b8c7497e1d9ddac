#include "logging/record_gate.h"

namespace kestrum::logging {
namespace {

// Long enough for a write already under way to reach the disk or the pipe,
// short enough that a stuck writer cannot keep the crash report waiting.
constexpr ULONGLONG drain_limit_ms = 200;

}  // namespace

record_gate::record_gate() noexcept : inside_slot_(::TlsAlloc()) {}

record_gate::~record_gate() {
    if (inside_slot_ != TLS_OUT_OF_INDEXES) {
        ::TlsFree(inside_slot_);
    }
}

bool record_gate::enter() noexcept {
    if (state_.fetch_add(1) & closed_flag) {
        state_.fetch_sub(1);
        return false;
    }
    if (inside_slot_ != TLS_OUT_OF_INDEXES) {
        ::TlsSetValue(inside_slot_, reinterpret_cast<void*>(1));
    }
    return true;
}

void record_gate::leave() noexcept {
    if (inside_slot_ != TLS_OUT_OF_INDEXES) {
        ::TlsSetValue(inside_slot_, nullptr);
    }
    state_.fetch_sub(1);
}

void record_gate::close_and_drain() noexcept {
    state_.fetch_or(closed_flag);
    const bool caller_inside = inside_slot_ != TLS_OUT_OF_INDEXES && ::TlsGetValue(inside_slot_) != nullptr;
    const long others_done = closed_flag | (caller_inside ? 1 : 0);
    const ULONGLONG started = ::GetTickCount64();
    while (state_.load() != others_done && ::GetTickCount64() - started < drain_limit_ms) {
        ::SwitchToThread();
    }
}

}  // namespace kestrum::logging
