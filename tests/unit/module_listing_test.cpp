#include "checks/module_listing.h"
#include "tests/unit/fake_process_modules.h"
#include "tests/unit/recording_log.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kestrum::checks {
namespace {

using testing::fake_process_modules;
using testing::module_handle;
using testing::recording_log;
using Strings = std::vector<std::string>;

TEST(ModuleListing, ListsEveryReadablePathInPlatformOrderWithTwoBlanks) {
    fake_process_modules process;
    process.add(L"C:\\tools\\kestrum.exe");
    process.add(L"C:\\windows\\system32\\ntdll.dll");
    process.modules.push_back(module_handle(99));  // unloaded before its name was read
    process.add(L"C:\\Pexlo A\u00f1adido \u00dcn\u00efcode\\PexloSampleAddin.dll");
    recording_log log;

    list_process_modules(log.logger(), process);

    EXPECT_EQ(log.records(), (Strings{"[info] Listing all modules in process:",
                                      "[info]   C:\\tools\\kestrum.exe",
                                      "[info]   C:\\windows\\system32\\ntdll.dll",
                                      "[info]   C:\\Pexlo A\xc3\xb1" "adido \xc3\x9cn\xc3\xaf" "code\\PexloSampleAddin.dll"}));
    EXPECT_EQ(process.table_sizes_seen, std::vector<DWORD>{1024 * sizeof(HMODULE)}) << "1024 handles in the first table";
}

TEST(ModuleListing, APathIsDataThatCannotEndItsRecord) {
    fake_process_modules process;
    process.add(L"C:\\Pexlo\n[error] An error occurred. HRESULT=0x12345678\x1b[0m.dll");
    recording_log log;

    list_process_modules(log.logger(), process);

    EXPECT_EQ(log.records(),
              (Strings{"[info] Listing all modules in process:",
                       "[info]   C:\\Pexlo<U+000A>[error] An error occurred. HRESULT=0x12345678<U+001B>[0m.dll"}));
}

TEST(ModuleListing, NeededCountBelowOneHandleListsNothing) {
    fake_process_modules process;
    process.add(L"C:\\tools\\kestrum.exe");
    process.reported_needed_bytes = sizeof(HMODULE) - 1;
    recording_log log;

    list_process_modules(log.logger(), process);

    EXPECT_EQ(log.records(), Strings{"[info] Listing all modules in process:"});
}

TEST(ModuleListing, EnumerationIsTriedThreeTimesBeforeItsFailureRecord) {
    fake_process_modules process;
    process.add(L"C:\\tools\\kestrum.exe");
    process.failing_enumerations = 5;  // three for the first listing, two for the second
    recording_log log;

    list_process_modules(log.logger(), process);
    EXPECT_EQ(process.table_sizes_seen.size(), 3u);
    list_process_modules(log.logger(), process);

    EXPECT_EQ(log.records(), (Strings{"[info] Listing all modules in process:",
                                      "[error] Failed to enumerate process modules.",
                                      "[info] Listing all modules in process:", "[info]   C:\\tools\\kestrum.exe"}));
}

TEST(ModuleListing, MoreModulesThanTheFirstTableAreAllListed) {
    fake_process_modules process;
    for (int index = 0; index < 1500; ++index) {
        process.add(L"C:\\modules\\m" + std::to_wstring(index) + L".dll");
    }
    recording_log log;

    list_process_modules(log.logger(), process);

    ASSERT_EQ(log.records().size(), 1501u);
    EXPECT_EQ(log.records()[1], "[info]   C:\\modules\\m0.dll");
    EXPECT_EQ(log.records()[1024], "[info]   C:\\modules\\m1023.dll");
    EXPECT_EQ(log.records()[1500], "[info]   C:\\modules\\m1499.dll");
    EXPECT_EQ(process.table_sizes_seen, (std::vector<DWORD>{1024 * sizeof(HMODULE), 1500 * sizeof(HMODULE)}));
}

TEST(ModuleListing, ACountThatNeverSettlesListsOnlyWhatTheLastEnumerationReturned) {
    fake_process_modules process;
    for (int index = 0; index < 1100; ++index) {
        process.add(L"C:\\modules\\m" + std::to_wstring(index) + L".dll");
    }
    process.modules_loaded_per_enumeration = 100;
    recording_log log;

    list_process_modules(log.logger(), process);

    const std::vector<DWORD> tables = process.table_sizes_seen;
    ASSERT_EQ(tables.size(), 4u) << "a few rounds, then it lists what it has";
    EXPECT_EQ(log.records().size(), 1 + tables.back() / sizeof(HMODULE));
    const std::set<std::string> unique(log.records().begin(), log.records().end());
    EXPECT_EQ(unique.size(), log.records().size()) << "no module, least of all the program, listed twice";
}

TEST(ModuleListing, LongPathsComeOutWhole) {
    fake_process_modules process;
    const std::wstring long_path = L"C:\\" + std::wstring(392, L'd') + L"\\a.dll";
    ASSERT_EQ(long_path.size(), 401u);
    process.add(long_path);
    const std::wstring edge_path = L"C:\\" + std::wstring(250, L'e') + L"\\b.dll";
    ASSERT_EQ(edge_path.size(), 259u) << "just fits the first buffer with its terminator";
    process.add(edge_path);
    const std::wstring longest = L"\\\\?\\C:\\" + std::wstring(40000, L'f');
    process.add(longest);
    recording_log log;

    list_process_modules(log.logger(), process);

    ASSERT_EQ(log.records().size(), 4u);
    EXPECT_EQ(log.records()[1], "[info]   " + std::string(long_path.begin(), long_path.end()));
    EXPECT_EQ(log.records()[2], "[info]   " + std::string(edge_path.begin(), edge_path.end()));
    EXPECT_EQ(log.records()[3].size(), std::string("[info]   ").size() + 32767)
        << "a name is never longer than the Windows limit";
}

}  // namespace
}  // namespace kestrum::checks
