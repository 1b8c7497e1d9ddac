#include "platform/cxx_throws.h"

#include <atomic>
#include <iterator>

namespace kestrum::platform {
namespace {

// One slot per thread that ever threw, claimed once; a process with more
// throwing threads than this simply goes unrecorded beyond them.
constexpr int slot_count = 256;

struct throw_slot {
    std::atomic<DWORD> owner{0};
    cxx_throw last;  // written and read only by the owning thread
};

throw_slot slots[slot_count];
std::uintptr_t raise_modules[3] = {};

throw_slot* slot_of_this_thread(bool claim) noexcept {
    const DWORD me = ::GetCurrentThreadId();
    for (throw_slot& slot : slots) {
        if (slot.owner.load(std::memory_order_relaxed) == me) {
            return &slot;
        }
    }
    if (!claim) {
        return nullptr;
    }
    for (throw_slot& slot : slots) {
        DWORD unowned = 0;
        if (slot.owner.compare_exchange_strong(unowned, me)) {
            return &slot;
        }
    }
    return nullptr;
}

bool in_raise_module(const stack_frame& frame) noexcept {
    for (const std::uintptr_t base : raise_modules) {
        if (base != 0 && frame.image_base == base) {
            return true;
        }
    }
    return false;
}

// The frame of the code that threw. The raise starts in the system's
// libraries; past them GCC's runtime has two frames of its own (the unwinder
// and the throw function, which calls terminate itself once the unwinder has
// found no handler) and Microsoft's has one.
int thrower_of(DWORD code, const stack_frame* frames, int count) noexcept {
    int first_outside_system = 0;
    while (first_outside_system < count && in_raise_module(frames[first_outside_system])) {
        ++first_outside_system;
    }
    return first_outside_system == 0 ? count : first_outside_system + (code == gcc_cxx_exception ? 2 : 1);
}

bool return_address_in_place(const stack_frame& frame) noexcept {
    const std::uintptr_t slot = frame.sp - sizeof(std::uintptr_t);
    return on_current_stack(slot, sizeof(std::uintptr_t)) && *reinterpret_cast<const std::uintptr_t*>(slot) == frame.pc;
}

bool still_under_way(const cxx_throw& recorded) noexcept {
    if (recorded.thrower >= recorded.frame_count) {
        return false;
    }
    for (int index = recorded.thrower; index < recorded.frame_count; ++index) {
        if (!return_address_in_place(recorded.frames[index])) {
            return false;
        }
    }
    return true;
}

// GCC passes its exception object first, Microsoft's runtime second (null for
// a rethrow).
ULONG_PTR exception_object_of(const EXCEPTION_RECORD& raised) noexcept {
    const DWORD index = raised.ExceptionCode == gcc_cxx_exception ? 0 : 1;
    return raised.NumberParameters > index ? raised.ExceptionInformation[index] : 0;
}

}  // namespace

void remember_raise_modules() noexcept {
    const wchar_t* names[] = {L"ntdll.dll", L"kernelbase.dll", L"kernel32.dll"};
    for (std::size_t index = 0; index < std::size(names); ++index) {
        raise_modules[index] = reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(names[index]));
    }
}

void record_cxx_throw(const EXCEPTION_RECORD& raised, const CONTEXT& raised_at) noexcept {
    throw_slot* slot = slot_of_this_thread(true);
    if (slot == nullptr) {
        return;
    }
    cxx_throw& last = slot->last;
    const ULONG_PTR object = exception_object_of(raised);
    // The same exception raised again while its first throw is still under
    // way: a terminate handler rethrowing it to read its message. The first
    // throw is the one that tells where it came from.
    if (last.code == raised.ExceptionCode && (object == 0 || object == last.exception_object) &&
        still_under_way(last)) {
        return;
    }
    last.code = raised.ExceptionCode;
    last.exception_object = object;
    last.frame_count = unwind_frames(raised_at, last.frames, recorded_throw_frames);
    last.thrower = thrower_of(last.code, last.frames, last.frame_count);
}

const cxx_throw* throw_under_way_on_this_thread() noexcept {
    const throw_slot* slot = slot_of_this_thread(false);
    return slot != nullptr && still_under_way(slot->last) ? &slot->last : nullptr;
}

}  // namespace kestrum::platform
