#include "crash/cxx_throws.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <span>

namespace kestrum::crash {
namespace {

// One slot per thread that ever threw, claimed once; a process with more
// throwing threads than this simply goes unrecorded beyond them.
constexpr std::size_t slot_count = 256;

struct throw_slot {
    std::atomic<DWORD> owner{0};
    cxx_throw last;  // written and read only by the owning thread
};

// Fixed storage shared by every thread: the exception handler that fills it
// gets no context of its own.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables): see above
std::array<throw_slot, slot_count> slots;
std::array<std::uintptr_t, 3> raise_modules{};  // set once at start
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

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
    return std::ranges::any_of(raise_modules,
                               [&](std::uintptr_t base) { return base != 0 && frame.image_base == base; });
}

// The frame of the code that threw. The raise starts in the system's
// libraries; past them GCC's runtime has two frames of its own (the unwinder
// and the throw function, which calls terminate itself once the unwinder has
// found no handler) and Microsoft's has one.
int thrower_of(DWORD code, std::span<const stack_frame> frames) noexcept {
    const auto first_outside_system = static_cast<int>(
        std::ranges::find_if_not(frames, [](const stack_frame& frame) { return in_raise_module(frame); }) -
        frames.begin());
    return first_outside_system == 0 ? static_cast<int>(frames.size())
                                     : first_outside_system + (code == gcc_cxx_exception ? 2 : 1);
}

bool return_address_in_place(const stack_frame& frame) noexcept {
    const std::uintptr_t slot = frame.sp - sizeof(std::uintptr_t);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): a stack slot's address, checked to lie on this thread's stack
    return on_current_stack(slot, sizeof(std::uintptr_t)) && *reinterpret_cast<const std::uintptr_t*>(slot) == frame.pc;
}

bool still_under_way(const cxx_throw& recorded) noexcept {
    const std::span<const stack_frame> outward = recorded.from_thrower();
    return !outward.empty() && std::ranges::all_of(outward, return_address_in_place);
}

// GCC passes its exception object first, Microsoft's runtime second (null for
// a rethrow).
ULONG_PTR exception_object_of(const EXCEPTION_RECORD& raised) noexcept {
    const DWORD index = raised.ExceptionCode == gcc_cxx_exception ? 0 : 1;
    return raised.NumberParameters > index ? std::span(raised.ExceptionInformation)[index] : 0;
}

}  // namespace

void remember_raise_modules() noexcept {
    const std::array<const wchar_t*, 3> names = {L"ntdll.dll", L"kernelbase.dll", L"kernel32.dll"};
    std::ranges::transform(names, raise_modules.begin(), [](const wchar_t* name) {
        return reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(name));
    });
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
    last.frame_count = unwind_frames(raised_at, last.frames);
    last.thrower = thrower_of(last.code, std::span(last.frames).first(static_cast<std::size_t>(last.frame_count)));
}

const cxx_throw* throw_under_way_on_this_thread() noexcept {
    const throw_slot* slot = slot_of_this_thread(false);
    return slot != nullptr && still_under_way(slot->last) ? &slot->last : nullptr;
}

}  // namespace kestrum::crash
