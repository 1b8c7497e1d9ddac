#include "reports/library_search.h"

#include "reports/value_forms.h"

#include <algorithm>

namespace kestrum::reports {
namespace {

// No PATH holds more folders than this; the rest are not searched.
constexpr std::size_t max_path_folders = 1024;

std::wstring_view file_name_of(std::wstring_view path) {
    const std::size_t at = path.find_last_of(L"\\/");
    return at == std::wstring_view::npos ? path : path.substr(at + 1);
}

}  // namespace

bool is_api_set(std::wstring_view name) {
    return starts_with_ignoring_case(name, L"api-ms-win-") || starts_with_ignoring_case(name, L"ext-ms-win-");
}

std::vector<std::wstring> searched_folders(const search_places& places) {
    std::vector<std::wstring> folders;
    const auto add = [&folders](std::wstring folder) {
        if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
            folder = folder.substr(1, folder.size() - 2);
        }
        const bool seen = std::any_of(folders.begin(), folders.end(), [&folder](const std::wstring& known) {
            return equal_ignoring_case(known, folder);
        });
        if (!folder.empty() && !seen) {
            folders.push_back(std::move(folder));
        }
    };
    for (const std::wstring* folder :
         {&places.server_folder, &places.system_folder, &places.windows_folder, &places.working_folder}) {
        add(*folder);
    }
    std::size_t from = 0;
    for (std::size_t count = 0; count < max_path_folders && from <= places.path.size(); ++count) {
        const std::size_t to = std::min(places.path.find(L';', from), places.path.size());
        add(places.path.substr(from, to - from));
        from = to + 1;
    }
    return folders;
}

found_library find_library(platform::file_facts& files, const search_places& places, std::wstring_view name) {
    for (const std::wstring& module : places.loaded_modules) {
        if (equal_ignoring_case(file_name_of(module), name)) {
            return {found_as::loaded, module};
        }
    }
    for (const std::wstring& known : places.known_dlls) {
        if (equal_ignoring_case(known, name)) {
            return {found_as::known, joined_path(places.system_folder, name)};
        }
    }
    for (const std::wstring& folder : searched_folders(places)) {
        std::wstring candidate = joined_path(folder, name);
        if (files.exists(candidate.c_str())) {
            return {found_as::file, std::move(candidate), equal_ignoring_case(folder, places.server_folder)};
        }
    }
    return {};
}

}  // namespace kestrum::reports
