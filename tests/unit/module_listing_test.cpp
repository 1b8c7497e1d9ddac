#include "checks/module_listing.h"
#include "tests/unit/recording_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

namespace kestrum::checks {
namespace {

using testing::recording_log;
using Strings = std::vector<std::string>;

HMODULE module_handle(std::uintptr_t index) { return reinterpret_cast<HMODULE>((index + 1) * 0x10000); }

// Behaves like the kernel32 calls: fills at most the table it is given,
// reports the bytes needed for all modules, and truncates names to the
// buffer (terminator included), returning the characters copied.
class fake_process_modules final : public platform::process_modules {
public:
    std::vector<HMODULE> modules;
    std::map<HMODULE, std::wstring> names;
    bool enumeration_fails = false;
    DWORD reported_needed_bytes = 0;  // when nonzero, reported instead of the true size
    std::vector<DWORD> table_sizes_seen;

    HANDLE current_process() override { return reinterpret_cast<HANDLE>(-1); }

    BOOL enumerate_all_modules(HANDLE process, HMODULE* table, DWORD size_bytes, DWORD* needed_bytes) override {
        EXPECT_EQ(process, reinterpret_cast<HANDLE>(-1));
        table_sizes_seen.push_back(size_bytes);
        if (enumeration_fails) {
            return FALSE;
        }
        const std::size_t fits = std::min<std::size_t>(modules.size(), size_bytes / sizeof(HMODULE));
        std::copy_n(modules.begin(), fits, table);
        *needed_bytes = reported_needed_bytes ? reported_needed_bytes
                                              : static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        return TRUE;
    }

    DWORD module_file_name(HANDLE, HMODULE module, wchar_t* name, DWORD size_chars) override {
        const auto found = names.find(module);
        if (found == names.end() || size_chars == 0) {
            return 0;
        }
        const std::size_t copied = std::min<std::size_t>(found->second.size(), size_chars - 1);
        std::copy_n(found->second.begin(), copied, name);
        name[copied] = L'\0';
        return static_cast<DWORD>(copied);
    }

    void add(const std::wstring& path) {
        HMODULE handle = module_handle(modules.size());
        modules.push_back(handle);
        names[handle] = path;
    }
};

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
    EXPECT_EQ(process.table_sizes_seen, std::vector<DWORD>{8192}) << "1024 handles in the first table";
}

TEST(ModuleListing, NeededCountBelowOneHandleListsNothing) {
    fake_process_modules process;
    process.add(L"C:\\tools\\kestrum.exe");
    process.reported_needed_bytes = 7;
    recording_log log;

    list_process_modules(log.logger(), process);

    EXPECT_EQ(log.records(), Strings{"[info] Listing all modules in process:"});
}

TEST(ModuleListing, EnumerationFailureWritesItsRecordOnly) {
    fake_process_modules process;
    process.enumeration_fails = true;
    recording_log log;

    list_process_modules(log.logger(), process);

    EXPECT_EQ(log.records(), (Strings{"[info] Listing all modules in process:",
                                      "[error] Failed to enumerate process modules."}));
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
    EXPECT_EQ(process.table_sizes_seen, (std::vector<DWORD>{8192, 1500 * 8}));
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
