#include "watch/worker_activity.h"

namespace kestrum::watch {
namespace {

constexpr std::uint64_t interrupt_ticks_per_millisecond = 10000;  // 100 ns ticks
constexpr unsigned bits_per_dword = 32;

std::uint64_t ticks_of(const FILETIME& time) noexcept {
    return (std::uint64_t{time.dwHighDateTime} << bits_per_dword) | time.dwLowDateTime;
}

}  // namespace

std::uint64_t awake_milliseconds() noexcept {
    ULONGLONG ticks = 0;
    ::QueryUnbiasedInterruptTime(&ticks);
    return ticks / interrupt_ticks_per_millisecond;
}

std::uint64_t activity_of(HANDLE process, HANDLE main_thread) noexcept {
    std::uint64_t activity = 0;
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        activity += ticks_of(kernel) + ticks_of(user);
    }
    // Counted in the process's times already; Wine 8 adds a running
    // thread's time to them only when the thread ends.
    if (::GetThreadTimes(main_thread, &created, &exited, &kernel, &user)) {
        activity += ticks_of(kernel) + ticks_of(user);
    }
    IO_COUNTERS io{};
    if (::GetProcessIoCounters(process, &io)) {
        activity += io.ReadOperationCount + io.WriteOperationCount + io.OtherOperationCount;
    }
    return activity;
}

bool console_selection_in_progress() noexcept {
    // Only a console's writes wait for a selection. Wine 8 has no
    // GetConsoleSelectionInfo: its stub ends the process that calls it.
    static const bool answerable = [] {
        DWORD mode = 0;
        return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
               ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
    }();
    CONSOLE_SELECTION_INFO selection{};
    return answerable && ::GetConsoleSelectionInfo(&selection) &&
           (selection.dwFlags & CONSOLE_SELECTION_IN_PROGRESS) != 0;
}

bool standard_output_mid_line(bool record_being_written) noexcept {
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &screen)) {
        return screen.dwCursorPosition.X != 0;
    }
    return record_being_written;
}

}  // namespace kestrum::watch
