#include "crash/loaded_module.h"
#include "platform/error_mode.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrum {
namespace {

TEST(ErrorMode, KeepsWhatWasSetAndAddsNoBoxesOfTheSystems) {
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
    platform::keep_error_boxes_away();
    EXPECT_EQ(::GetErrorMode(), UINT{SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX});
}

// |file| in a folder as this edition's process reads it; empty without one.
std::wstring in(UINT(WINAPI* read)(LPWSTR, UINT), const wchar_t* file) {
    wchar_t folder[MAX_PATH] = {};
    return read(folder, MAX_PATH) > 0 ? folder + std::wstring(file) : std::wstring();
}

TEST(SystemFolders, AreTheSystemDirectorySysWow64AndTheSideBySideStore) {
    crash::remember_own_modules();
    EXPECT_TRUE(crash::in_system_folder(in(::GetSystemDirectoryW, L"\\kernel32.dll")));
    const std::wstring wow64 = in(::GetSystemWow64DirectoryW, L"\\kernel32.dll");
    EXPECT_TRUE(wow64.empty() || crash::in_system_folder(wow64)) << "SysWOW64, where there is one";
    EXPECT_TRUE(crash::in_system_folder(in(::GetSystemWindowsDirectoryW, L"\\WinSxS\\x86_vc90.crt\\msvcr90.dll")));
    EXPECT_FALSE(crash::in_system_folder(in(::GetSystemWindowsDirectoryW, L"\\Pexlo\\PexloSampleAddin.dll")));
}

}  // namespace
}  // namespace kestrum
