#pragma once

#include "platform/folder_listing.h"
#include "platform/local_clock.h"

#include <map>
#include <string>
#include <vector>

namespace kestrum::testing {

// Folders by path, with the names of the folders in them, listed as
// FindFirstFileExW matches "Prefix*": case-blind, |limit| names looked at.
class fake_folder_listing final : public platform::folder_listing {
public:
    std::map<std::wstring, std::vector<std::wstring>> folders;
    std::map<std::wstring, DWORD> errors;
    int listings = 0;

    platform::folder_names subfolders(const std::wstring& folder, const wchar_t* pattern, std::size_t limit) override {
        ++listings;
        const auto found = folders.find(folder);
        if (errors.count(folder) || found == folders.end()) {
            return {{}, false, errors.count(folder) ? errors[folder] : DWORD{ERROR_PATH_NOT_FOUND}};
        }
        platform::folder_names listed{{}, false, ERROR_FILE_NOT_FOUND};
        const int prefix = static_cast<int>(std::wstring(pattern).find(L'*'));
        for (const std::wstring& name : found->second) {
            if (static_cast<int>(name.size()) < prefix ||
                ::CompareStringOrdinal(name.c_str(), prefix, pattern, prefix, TRUE) != CSTR_EQUAL) {
                continue;
            }
            listed.more = listed.names.size() == limit;
            if (listed.more) {
                break;
            }
            listed.names.push_back(name);
            listed.error = ERROR_SUCCESS;
        }
        return listed;
    }
};

// A clock stopped at |time|, in a time zone at UTC, converting only what the
// C runtime converts: 1970 to 3000.
class fixed_clock final : public platform::local_clock {
public:
    explicit fixed_clock(platform::file_time time) : time_(time) {}

    platform::file_time now() override { return time_; }
    std::optional<SYSTEMTIME> local_time(platform::file_time time) override {
        constexpr platform::file_time from = 116444736000000000;   // 1970-01-01
        constexpr platform::file_time until = 441796896000000000;  // 3001-01-01
        const FILETIME file{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32U)};
        SYSTEMTIME local{};
        if (time < from || time >= until || ::FileTimeToSystemTime(&file, &local) == FALSE) {
            return std::nullopt;
        }
        return local;
    }

private:
    platform::file_time time_;
};

}  // namespace kestrum::testing
