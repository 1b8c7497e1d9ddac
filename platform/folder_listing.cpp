#include "platform/folder_listing.h"

#include "platform/unique_resource.h"

namespace kestrum::platform {
namespace {

bool is_named_folder(const WIN32_FIND_DATAW& found) {
    const std::wstring_view name = found.cFileName;
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != L"." && name != L"..";
}

class kernel32_folder_listing final : public folder_listing {
public:
    folder_names subfolders(const std::wstring& folder, const wchar_t* pattern, std::size_t limit) override {
        folder_names listed;
        const std::wstring query = folder + L"\\" + pattern;
        WIN32_FIND_DATAW found{};
        // Only a hint: files that match come too, and are passed over below.
        const unique_find_handle search(
            ::FindFirstFileExW(query.c_str(), FindExInfoBasic, &found, FindExSearchLimitToDirectories, nullptr, 0));
        if (!search) {
            listed.error = ::GetLastError();
            return listed;
        }
        std::size_t looked_at = 0;
        do {
            if (looked_at == limit) {
                listed.more = true;
                break;
            }
            ++looked_at;
            if (is_named_folder(found)) {
                listed.names.emplace_back(found.cFileName);
            }
        } while (::FindNextFileW(search.get(), &found) != FALSE);
        return listed;
    }
};

}  // namespace

folder_listing& system_folder_listing() {
    static kernel32_folder_listing instance;
    return instance;
}

}  // namespace kestrum::platform
