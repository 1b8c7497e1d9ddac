#include "platform/stack_walk.h"

#include "platform/thread_block.h"

namespace kestrum::platform {

bool on_current_stack(std::uintptr_t address, std::size_t size) noexcept {
    const NT_TIB* thread_block = current_thread_block();
    const auto low = reinterpret_cast<std::uintptr_t>(thread_block->StackLimit);
    const auto high = reinterpret_cast<std::uintptr_t>(thread_block->StackBase);
    return address >= low && address <= high && size <= high - address;
}

#if defined(_M_X64) || defined(__x86_64__)

int unwind_frames(const CONTEXT& start, stack_frame* frames, int capacity) noexcept {
    CONTEXT context = start;
    int count = 0;
    while (count < capacity && context.Rip != 0 && on_current_stack(context.Rsp, sizeof(DWORD64))) {
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
            context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
            context.Rsp += sizeof(DWORD64);
        } else {
            break;
        }
        if (context.Rsp <= previous_sp) {
            break;
        }
    }
    return count;
}

#else

int unwind_frames(const CONTEXT& start, stack_frame* frames, int capacity) noexcept {
    if (capacity < 1 || start.Eip == 0) {
        return 0;
    }
    frames[0] = {static_cast<std::uintptr_t>(start.Eip), static_cast<std::uintptr_t>(start.Esp)};
    return 1;
}

#endif

}  // namespace kestrum::platform
