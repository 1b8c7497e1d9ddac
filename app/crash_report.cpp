#include "app/crash_report.h"

#include "app/verdict.h"
#include "platform/crash_hooks.h"

#include <spdlog/logger.h>

#include <cstdint>
#include <string_view>

namespace kestrum::app {
namespace {

// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): a crash handler gets no context
spdlog::logger* crash_log = nullptr;

void write_crash(const platform::crash_details& crash) {
    if (!crash_log) {
        return;
    }
    const std::wstring_view module =
        crash.module_path.empty() ? std::wstring_view(L"an unknown module") : std::wstring_view(crash.module_path);
    crash_log->error(L"The process crashed: exception 0x{:08X} at 0x{:016X} in {}.", crash.code,
                     reinterpret_cast<std::uintptr_t>(crash.address), module);
    write_error_verdict(*crash_log, crash.code);
    crash_log->flush();
}

}  // namespace

crash_report_guard::crash_report_guard(spdlog::logger& log) {
    crash_log = &log;
    platform::install_crash_hooks(write_crash);
}

crash_report_guard::~crash_report_guard() { crash_log = nullptr; }

}  // namespace kestrum::app
