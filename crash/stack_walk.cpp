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
    while (count < frames.size() && context.Rip != 0 && on_current_stack(context.Rsp, sizeof(DWORD64))) {
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

int unwind_frames(const CONTEXT& context_at_start, std::span<stack_frame> frames) noexcept {
    if (frames.empty() || context_at_start.Eip == 0) {
        return 0;
    }
    frames[0] = {static_cast<std::uintptr_t>(context_at_start.Eip), static_cast<std::uintptr_t>(context_at_start.Esp)};
    return 1;
}

#endif

}  // namespace kestrum::crash
