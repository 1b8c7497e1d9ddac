#include "watch/worker_handoff.h"

#include <cstdint>
#include <string>

namespace kestrum::watch {
namespace {

// Marks a section as one of ours, in the layout below.
constexpr std::uint64_t handoff_mark = 0x4B65737472756D31;  // "Kestrum1"

struct handoff_data {
    std::uint64_t mark;
    std::uint64_t log_file;  // a handle value, valid in the worker
};

std::wstring section_name(DWORD worker_id) { return L"Local\\PexloKestrum.Worker." + std::to_wstring(worker_id); }

struct mapped_view_traits {
    using type = void*;
    static bool holds(void* view) noexcept { return view != nullptr; }
    static void release(void* view) noexcept { ::UnmapViewOfFile(view); }
};
using unique_view = platform::unique_resource<mapped_view_traits>;

}  // namespace

std::optional<worker_handoff> worker_handoff::publish(DWORD worker_id, HANDLE log_file) {
    platform::unique_handle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                         sizeof(handoff_data), section_name(worker_id).c_str()));
    if (!section || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        return std::nullopt;
    }
    const unique_view view(::MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, sizeof(handoff_data)));
    if (!view) {
        return std::nullopt;
    }
    const handoff_data data{handoff_mark, static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(log_file))};
    ::CopyMemory(view.get(), &data, sizeof(data));
    return worker_handoff(std::move(section));
}

std::optional<platform::unique_handle> log_file_handed_to_this_process() {
    const platform::unique_handle section(
        ::OpenFileMappingW(FILE_MAP_READ, FALSE, section_name(::GetCurrentProcessId()).c_str()));
    if (!section) {
        return std::nullopt;
    }
    const unique_view view(::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, sizeof(handoff_data)));
    if (!view) {
        return platform::unique_handle();
    }
    handoff_data data{};
    ::CopyMemory(&data, view.get(), sizeof(data));
    // NOLINTNEXTLINE(performance-no-int-to-ptr): a handle value handed over from the watcher
    auto* const log_file = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(data.log_file));
    if (data.mark != handoff_mark || ::GetFileType(log_file) != FILE_TYPE_DISK) {
        return platform::unique_handle();
    }
    return platform::unique_handle(log_file);
}

}  // namespace kestrum::watch
