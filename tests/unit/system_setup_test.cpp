#include "crash/loaded_module.h"
#include "platform/error_mode.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kestrum {
namespace {

TEST(ErrorMode, KeepsWhatWasSetAndAddsNoBoxesOfTheSystems) {
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
    platform::keep_error_boxes_away();
    EXPECT_EQ(::GetErrorMode(), UINT{SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX});
}

// The folders as this process's edition sees them, so the rows hold for both.
std::wstring folder(UINT(WINAPI* read)(LPWSTR, UINT)) {
    std::array<wchar_t, MAX_PATH> text{};
    return read(text.data(), MAX_PATH) > 0 ? std::wstring(text.data()) : std::wstring();
}

TEST(SystemFolders, AreTheSystemDirectorySysWow64AndTheSideBySideStore) {
    crash::remember_own_modules();
    const std::wstring windows = folder(::GetSystemWindowsDirectoryW);
    EXPECT_TRUE(crash::in_system_folder(folder(::GetSystemDirectoryW) + L"\\kernel32.dll"));
    EXPECT_FALSE(crash::in_system_folder(folder(::GetSystemDirectoryW) + L"x\\kernel32.dll"));
    if (const std::wstring wow64 = folder(::GetSystemWow64DirectoryW); !wow64.empty()) {
        EXPECT_TRUE(crash::in_system_folder(wow64 + L"\\kernel32.dll"));
    }
    EXPECT_TRUE(crash::in_system_folder(windows + L"\\WinSxS\\x86_microsoft.vc90.crt_1fc8b3b9a1e18e3b\\msvcr90.dll"));
    EXPECT_FALSE(crash::in_system_folder(windows + L"\\Pexlo\\PexloSampleAddin.dll"));
}

}  // namespace
}  // namespace kestrum
