#include "platform/crash_hooks.h"

#include "platform/module_name.h"

#include <csignal>
#include <cstdint>
#include <cwctype>

namespace kestrum::platform {
namespace {

// Exception codes the C++ runtimes raise for a throw: GCC's and MSVC's.
constexpr DWORD gcc_cxx_exception = 0x20474343;
constexpr DWORD msvc_cxx_exception = 0xE06D7363;
// What abort() ends a process with when no C++ exception explains it.
constexpr DWORD fatal_app_exit = 0x40000015;
constexpr int frames_to_search = 64;

crash_handler installed_handler = nullptr;
crash_details last_cxx_throw;
bool seen_cxx_throw = false;

std::wstring module_path_at(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module)) {
        return {};
    }
    return read_whole_module_name(
        [module](wchar_t* name, DWORD capacity) { return ::GetModuleFileNameW(module, name, capacity); });
}

#if defined(_M_X64) || defined(__x86_64__)
bool lies_in_system_directory(const std::wstring& module_path) {
    wchar_t system_directory[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system_directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || module_path.size() <= length) {
        return false;
    }
    for (UINT index = 0; index < length; ++index) {
        if (std::towlower(module_path[index]) != std::towlower(system_directory[index])) {
            return false;
        }
    }
    return module_path[length] == L'\\';
}

// Unwinds from the point where the exception was raised until the first
// frame outside the system's own libraries: the code that threw.
const void* thrower_address(const EXCEPTION_RECORD& record, CONTEXT context) {
    for (int depth = 0; depth < frames_to_search && context.Rip != 0; ++depth) {
        const auto* frame = reinterpret_cast<const void*>(context.Rip);
        const std::wstring path = module_path_at(frame);
        if (!path.empty() && !lies_in_system_directory(path)) {
            return frame;
        }
        DWORD64 image_base = 0;
        PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(context.Rip, &image_base, nullptr);
        if (function) {
            void* handler_data = nullptr;
            DWORD64 establisher_frame = 0;
            ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, image_base, context.Rip, function, &context, &handler_data,
                               &establisher_frame, nullptr);
        } else {
            // A leaf function: the return address is on top of the stack.
            context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
            context.Rsp += sizeof(DWORD64);
        }
    }
    return record.ExceptionAddress;
}
#else
// Temporary, until the unwinder is portable: x86 has no table-based
// unwinding, so the 32-bit edition reports the frame that raised.
const void* thrower_address(const EXCEPTION_RECORD& record, CONTEXT) {
    return record.ExceptionAddress;
}
#endif

[[noreturn]] void report(const crash_details& crash) {
    static volatile LONG reporting = 0;
    // A fault while reporting must not report again: end at once.
    if (::InterlockedExchange(&reporting, 1) == 0 && installed_handler) {
        installed_handler(crash);
    }
    ::TerminateProcess(::GetCurrentProcess(), crash.code);
    for (;;) {
    }
}

LONG WINAPI remember_cxx_throw(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.ExceptionCode == gcc_cxx_exception || record.ExceptionCode == msvc_cxx_exception) {
        last_cxx_throw.code = record.ExceptionCode;
        last_cxx_throw.address = thrower_address(record, *exception->ContextRecord);
        last_cxx_throw.module_path = module_path_at(last_cxx_throw.address);
        seen_cxx_throw = true;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI report_unhandled_exception(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    // An uncaught C++ exception is raised from the system's own library; the
    // frame that threw it says more.
    if (seen_cxx_throw && record.ExceptionCode == last_cxx_throw.code) {
        report(last_cxx_throw);
    }
    crash_details crash;
    crash.code = record.ExceptionCode;
    crash.address = record.ExceptionAddress;
    crash.module_path = module_path_at(record.ExceptionAddress);
    report(crash);
}

void report_abort(int) {
    if (seen_cxx_throw) {
        report(last_cxx_throw);
    }
    crash_details crash;
    crash.code = fatal_app_exit;
    report(crash);
}

}  // namespace

void install_crash_hooks(crash_handler handler) {
    installed_handler = handler;
    ::SetUnhandledExceptionFilter(report_unhandled_exception);
    ::AddVectoredExceptionHandler(1, remember_cxx_throw);
    std::signal(SIGABRT, report_abort);
}

}  // namespace kestrum::platform
