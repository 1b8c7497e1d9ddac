#include "watch/worker_handoff.h"

#include <cstdint>
#include <new>
#include <string>

namespace kestrum::watch {
namespace {

std::wstring section_name(DWORD worker_id) { return L"Local\\PexloKestrum.Worker." + std::to_wstring(worker_id); }

}  // namespace

std::optional<worker_handoff> worker_handoff::publish(DWORD worker_id, HANDLE log_file) {
    platform::unique_handle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                         sizeof(handoff::section), section_name(worker_id).c_str()));
    if (!section || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        return std::nullopt;
    }
    unique_view view(::MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, sizeof(handoff::section)));
    if (!view) {
        return std::nullopt;
    }
    // The worker is still suspended: it sees the section whole or not at all.
    new (view.get()) handoff::section{
        handoff::section_mark, static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(log_file)), {}};
    return worker_handoff(std::move(section), std::move(view));
}

const handoff::run_progress& worker_handoff::progress() const noexcept {
    return static_cast<const handoff::section*>(view_.get())->progress;
}

std::optional<handed_over_log> log_file_handed_to_this_process() {
    const platform::unique_handle section(
        ::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, section_name(::GetCurrentProcessId()).c_str()));
    if (!section) {
        return std::nullopt;
    }
    handed_over_log handed;
    handed.view =
        unique_view(::MapViewOfFile(section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(handoff::section)));
    if (!handed.view) {
        return handed;
    }
    // The watcher made the section's one object before this process ran.
    auto* const shared = static_cast<handoff::section*>(handed.view.get());
    // NOLINTNEXTLINE(performance-no-int-to-ptr): a handle value handed over from the watcher
    auto* const log_file = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(shared->log_file));
    if (shared->mark != handoff::section_mark || ::GetFileType(log_file) != FILE_TYPE_DISK) {
        return handed;
    }
    handed.file = platform::unique_handle(log_file);
    handed.progress = &shared->progress;
    return handed;
}

}  // namespace kestrum::watch
