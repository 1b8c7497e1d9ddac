#include "reports/server_location.h"

#include "reports/value_forms.h"

#include <algorithm>
#include <vector>

namespace kestrum::reports {
namespace {

using platform::process_folder;
using platform::registry_view;

// A path into the folder this process calls System32 as a program of
// |view|'s bitness reaches it: in that view's system folder. A 32-bit program
// on 64-bit Windows has its System32 sent to SysWOW64; kestrum.exe reaches it
// as SysWOW64, kestrum32.exe reaches the 64-bit one as Sysnative.
std::wstring in_view(platform::process_context& context, const std::wstring& path, registry_view view) {
    const std::wstring named = context.folder(process_folder::system_named);
    if (named.empty() || !starts_with_ignoring_case(path, named) ||
        (path.size() > named.size() && path[named.size()] != L'\\')) {
        return path;
    }
    const std::wstring folder = context.system_folder(view);
    return folder.empty() ? path : folder + path.substr(named.size());
}

struct search_folder {
    std::wstring folder;
    located_file::found_in place;
};

// Where the loader looks for a DLL named without a full path, in its order
// (standard search order, safe DLL search mode on): the program's folder,
// the system folder, the Windows folder, the working folder, then PATH.
std::vector<search_folder> search_folders(platform::process_context& context, registry_view view) {
    using found_in = located_file::found_in;
    std::vector<search_folder> folders = {{context.folder(process_folder::program), found_in::program_folder},
                                          {context.system_folder(view), found_in::system_folder},
                                          {context.folder(process_folder::windows), found_in::search_path},
                                          {context.folder(process_folder::working), found_in::working_folder}};
    const std::wstring path = context.environment_variable(L"PATH");
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t to = std::min(path.find(L';', start), path.size());
        std::wstring entry = path.substr(start, to - start);
        if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
            entry = entry.substr(1, entry.size() - 2);
        }
        folders.push_back({std::move(entry), found_in::search_path});
        start = to + 1;
    }
    return folders;
}

located_file search_for(platform::process_context& context, platform::file_facts& files, const std::wstring& name,
                        registry_view view) {
    located_file file;
    file.path = name;
    file.searched = true;
    const std::wstring system = context.system_folder(view);
    for (const search_folder& place : search_folders(context, view)) {
        if (place.folder.empty()) {
            continue;
        }
        const std::wstring folder = in_view(context, place.folder, view);
        const std::wstring candidate = joined_path(folder, name);
        if (files.exists(candidate.c_str())) {
            // The system folder also where PATH or the Windows folder lead there.
            file.place = equal_ignoring_case(folder, system) ? located_file::found_in::system_folder : place.place;
            file.path = candidate;
            file.exists = true;
            file.looked_in.clear();
            return file;
        }
        if (std::none_of(file.looked_in.begin(), file.looked_in.end(),
                         [&](const std::wstring& known) { return equal_ignoring_case(known, folder); })) {
            file.looked_in.push_back(folder);
        }
    }
    return file;
}

// A name or a path on no drive and from no root: the loader searches for it.
bool is_searched(std::wstring_view path) {
    return path.find(L':') == std::wstring_view::npos && (path.empty() || (path[0] != L'\\' && path[0] != L'/'));
}

}  // namespace

located_file locate_server_file(platform::process_context& context, platform::file_facts& files,
                                const std::wstring& path, registry_view view) {
    if (is_searched(path)) {
        return search_for(context, files, path, view);
    }
    located_file file;
    file.path = in_view(context, path, view);
    file.exists = files.exists(file.path.c_str());
    return file;
}

}  // namespace kestrum::reports
