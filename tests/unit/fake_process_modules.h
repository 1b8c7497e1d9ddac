#pragma once

#include "platform/process_modules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrum::testing {

inline HMODULE module_handle(std::uintptr_t index) { return reinterpret_cast<HMODULE>((index + 1) * 0x10000); }

// Behaves like the kernel32 calls: fills at most the table it is given,
// reports the bytes needed for all modules, and truncates names to the
// buffer (terminator included), returning the characters copied.
class fake_process_modules final : public platform::process_modules {
public:
    std::vector<HMODULE> modules;
    std::map<HMODULE, std::wstring> names;
    int failing_enumerations = 0;  // how many calls fail before one succeeds
    DWORD reported_needed_bytes = 0;  // when nonzero, reported instead of the true size
    std::vector<DWORD> table_sizes_seen;
    std::size_t modules_loaded_per_enumeration = 0;  // a process that never settles

    HANDLE current_process() override { return reinterpret_cast<HANDLE>(-1); }

    BOOL enumerate_all_modules(HANDLE process, HMODULE* table, DWORD size_bytes, DWORD* needed_bytes) override {
        EXPECT_EQ(process, reinterpret_cast<HANDLE>(-1));
        table_sizes_seen.push_back(size_bytes);
        if (failing_enumerations > 0) {
            --failing_enumerations;
            return FALSE;
        }
        const std::size_t fits = std::min<std::size_t>(modules.size(), size_bytes / sizeof(HMODULE));
        std::copy_n(modules.begin(), fits, table);
        *needed_bytes = reported_needed_bytes ? reported_needed_bytes
                                              : static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        for (std::size_t loaded = 0; loaded < modules_loaded_per_enumeration; ++loaded) {
            add(L"C:\\modules\\late" + std::to_wstring(modules.size()) + L".dll");
        }
        return TRUE;
    }

    DWORD module_file_name(HANDLE, HMODULE module, wchar_t* name, DWORD size_chars) override {
        // Like the real call, a null handle names the program itself.
        const auto found = names.find(module ? module : modules.front());
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

}  // namespace kestrum::testing
