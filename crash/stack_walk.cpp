#include "crash/stack_walk.h"

#include "crash/thread_block.h"

namespace kestrum::crash {

bool on_current_stack(std::uintptr_t address, std::size_t size) noexcept {
    const NT_TIB* thread_block = current_thread_block();
    const auto low = reinterpret_cast<std::uintptr_t>(thread_block->StackLimit);
    const auto high = reinterpret_cast<std::uintptr_t>(thread_block->StackBase);
    return address >= low && address <= high && size <= high - address;
}

#if defined(_M_X64) || defined(__x86_64__)

int unwind_frames(const CONTEXT& context_at_start, std::span<stack_frame> frames) noexcept {
    CONTEXT context = context_at_start;
    std::size_t count = 0;
    // The innermost frame may be at address 0: a call through a null pointer
    // faults before the callee runs, its return address on top of the stack.
    while (count < frames.size() && (context.Rip != 0 || count == 0) &&
           on_current_stack(context.Rsp, sizeof(DWORD64))) {
        const DWORD64 previous_sp = context.Rsp;
        DWORD64 image_base = 0;
        PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(context.Rip, &image_base, nullptr);
        frames[count++] = {static_cast<std::uintptr_t>(context.Rip), static_cast<std::uintptr_t>(context.Rsp),
                           static_cast<std::uintptr_t>(image_base)};
        if (function != nullptr) {
            void* handler_data = nullptr;
            DWORD64 establisher_frame = 0;
            ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, image_base, context.Rip, function, &context, &handler_data,
                               &establisher_frame, nullptr);
        } else if (count == 1) {
            // Only the innermost frame can be a leaf function, whose return
            // address is on top of the stack; anywhere else this would guess.
            // NOLINTNEXTLINE(performance-no-int-to-ptr): the stack pointer is an integer in the CPU context
            context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
            context.Rsp += sizeof(DWORD64);
        } else {
            break;
        }
        if (context.Rsp <= previous_sp) {
            break;
        }
    }
    return static_cast<int>(count);
}

#else

namespace {

// The base of the image whose code holds |address|, or 0 when |address| is
// not executable code of a loaded image. VirtualQuery reads nothing itself.
std::uintptr_t code_image_base(std::uintptr_t address) noexcept {
    constexpr DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    MEMORY_BASIC_INFORMATION region{};
    // NOLINTNEXTLINE(performance-no-int-to-ptr): a code address, an integer in the CPU context or on the stack
    if (address == 0 || ::VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof(region)) == 0 ||
        region.Type != MEM_IMAGE || (region.Protect & executable) == 0) {
        return 0;
    }
    return reinterpret_cast<std::uintptr_t>(region.AllocationBase);
}

// True when the instruction that ends just before |address| is a call: a
// direct one (E8 rel32) or an indirect one (FF /2, two to seven bytes long).
// That is what a return address looks like; a saved register or a local on
// top of the stack hardly ever does.
bool follows_a_call(std::uintptr_t address, std::uintptr_t image_base) noexcept {
    constexpr std::size_t longest_call = 7;
    if (image_base == 0 || address - image_base < longest_call || code_image_base(address - longest_call) == 0) {
        return false;
    }
    // The bytes before |address|: before[longest_call - n] is the n-th byte back.
    // NOLINTNEXTLINE(performance-no-int-to-ptr): checked above to lie in an image's code
    const std::span<const unsigned char, longest_call> before(
        reinterpret_cast<const unsigned char*>(address - longest_call), longest_call);
    constexpr unsigned char call_relative = 0xE8;
    constexpr unsigned char group_five = 0xFF;
    constexpr unsigned char reg_field = 0x38;
    constexpr unsigned char call_indirect = 0x10;  // reg field 2 of FF /2
    constexpr std::size_t relative_call_length = 5;
    if (before[longest_call - relative_call_length] == call_relative) {
        return true;
    }
    for (std::size_t length = 2; length <= longest_call; ++length) {
        if (before[longest_call - length] == group_five &&
            (before[longest_call - length + 1] & reg_field) == call_indirect) {
            return true;
        }
    }
    return false;
}

}  // namespace

// No unwind data on x86: the innermost frame's caller comes from the top of
// the stack when that word is a return address (the function is a leaf, or
// faulted before it ran, called through a bad pointer), and the frames
// outward from the frame-pointer chain. The chain is followed only while it
// stays on this thread's stack, aligned and moving outward; where it breaks,
// the walk stops rather than read older words of the stack as frames.
int unwind_frames(const CONTEXT& context_at_start, std::span<stack_frame> frames) noexcept {
    if (frames.empty() || !on_current_stack(context_at_start.Esp, sizeof(DWORD))) {
        return 0;
    }
    std::size_t count = 0;
    frames[count++] = {context_at_start.Eip, context_at_start.Esp, code_image_base(context_at_start.Eip)};
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the stack pointer, checked above to lie on this thread's stack
    const std::uintptr_t top_of_stack = *reinterpret_cast<const DWORD*>(context_at_start.Esp);
    const std::uintptr_t top_image = code_image_base(top_of_stack);
    if (count < frames.size() && follows_a_call(top_of_stack, top_image)) {
        frames[count++] = {top_of_stack, context_at_start.Esp + sizeof(DWORD), top_image};
    }
    // Each frame: the caller's frame pointer, then the return address.
    constexpr std::uintptr_t frame_record = 2 * sizeof(DWORD);
    std::uintptr_t frame = context_at_start.Ebp;
    std::uintptr_t floor = context_at_start.Esp;
    while (count < frames.size() && frame >= floor && frame % sizeof(DWORD) == 0 &&
           on_current_stack(frame, frame_record)) {
        // NOLINTBEGIN(performance-no-int-to-ptr): checked above to lie on this thread's stack
        const std::uintptr_t return_address = *reinterpret_cast<const DWORD*>(frame + sizeof(DWORD));
        const std::uintptr_t outer_frame = *reinterpret_cast<const DWORD*>(frame);
        // NOLINTEND(performance-no-int-to-ptr)
        if (return_address == 0) {
            break;
        }
        frames[count++] = {return_address, frame + frame_record, code_image_base(return_address)};
        floor = frame + frame_record;
        frame = outer_frame;
    }
    return static_cast<int>(count);
}

#endif

}  // namespace kestrum::crash
