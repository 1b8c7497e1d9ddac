#include "crash/loaded_module.h"

#include "crash/thread_block.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace kestrum::crash {
namespace {

// A loader list longer than this is a broken one.
constexpr int most_modules = 65536;

// Room for a folder's path and the subfolder named after it ("\\WinSxS").
constexpr std::size_t subfolder_room = 8;

// A folder whose modules are the system's, as text that stays put.
struct system_folder {
    std::array<wchar_t, MAX_PATH + subfolder_room> text{};
    std::wstring_view path;
};

// Set once while the process is healthy, read only when it is dying: the
// system directory; on 64-bit Windows also SysWOW64, where a 32-bit
// process's system libraries come from although GetSystemDirectoryW names
// System32; and the side-by-side store, which holds the C and C++ runtimes
// of older Visual C++ releases and other libraries of the system's.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables): see above
std::array<system_folder, 3> system_folders{};
const void* own_image = nullptr;
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

using folder_reader = UINT(WINAPI*)(LPWSTR, UINT);

// |read|'s folder followed by |subfolder|; empty when it has none (as
// GetSystemWow64DirectoryW on 32-bit Windows) or it does not fit.
void remember_folder(system_folder& folder, folder_reader read, std::wstring_view subfolder = {}) noexcept {
    const UINT length = read(folder.text.data(), MAX_PATH);
    folder.path = {};
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    std::ranges::copy(subfolder, folder.text.begin() + length);
    folder.path = std::wstring_view(folder.text.data(), length + subfolder.size());
}

// File name prefixes of the C and C++ runtime libraries that ship beside
// programs (MinGW's and Microsoft's); a throw or an abort passes through them.
constexpr std::array<std::wstring_view, 11> runtime_prefixes = {
    L"libgcc_s_", L"libstdc++-", L"libwinpthread-", L"libc++", L"libunwind",       L"vcruntime",
    L"msvcp",     L"msvcr",      L"ucrtbase",       L"concrt", L"api-ms-win-crt-",
};

wchar_t ascii_lower(wchar_t c) noexcept { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool starts_with_ignoring_case(std::wstring_view text, std::wstring_view prefix) noexcept {
    return text.size() >= prefix.size() &&
           std::ranges::equal(text.substr(0, prefix.size()), prefix,
                              [](wchar_t a, wchar_t b) { return ascii_lower(a) == ascii_lower(b); });
}

std::wstring_view file_name_of(std::wstring_view path) noexcept {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

bool in_folder(std::wstring_view path, std::wstring_view folder) noexcept {
    return !folder.empty() && starts_with_ignoring_case(path, folder) && path.size() > folder.size() &&
           path[folder.size()] == L'\\';
}

bool is_language_runtime(std::wstring_view path) noexcept {
    const std::wstring_view name = file_name_of(path);
    return std::ranges::any_of(runtime_prefixes,
                               [name](std::wstring_view prefix) { return starts_with_ignoring_case(name, prefix); });
}

// The base of the image mapping that holds |address|; VirtualQuery is a plain
// system call and reads nothing that might not be there.
const void* image_base_of(const void* address) noexcept {
    MEMORY_BASIC_INFORMATION region{};
    if (address == nullptr || ::VirtualQuery(address, &region, sizeof(region)) == 0 || region.Type != MEM_IMAGE) {
        return nullptr;
    }
    return region.AllocationBase;
}

}  // namespace

void remember_own_modules() noexcept {
    remember_folder(system_folders[0], ::GetSystemDirectoryW);
    remember_folder(system_folders[1], ::GetSystemWow64DirectoryW);
    remember_folder(system_folders[2], ::GetSystemWindowsDirectoryW, L"\\WinSxS");
    own_image = ::GetModuleHandleW(nullptr);
}

bool in_system_folder(std::wstring_view path) noexcept {
    return std::ranges::any_of(system_folders,
                               [path](const system_folder& folder) { return in_folder(path, folder.path); });
}

bool module_path_at(const void* address, std::span<wchar_t> path) noexcept {
    if (path.empty()) {
        return false;
    }
    path[0] = L'\0';
    const void* base = image_base_of(address);
    if (base == nullptr) {
        return false;
    }
    // The loader's own list, read without its lock (see the header).
    const LIST_ENTRY* head = &current_process_block()->Ldr->InMemoryOrderModuleList;
    int visited = 0;
    for (const LIST_ENTRY* link = head->Flink; link != head && visited < most_modules; link = link->Flink, ++visited) {
        const auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
        if (entry->DllBase != base) {
            continue;
        }
        const std::wstring_view name(entry->FullDllName.Buffer, entry->FullDllName.Length / sizeof(wchar_t));
        const std::size_t copied = std::min(name.size(), path.size() - 1);
        std::ranges::copy(name.substr(0, copied), path.begin());
        path[copied] = L'\0';
        return true;
    }
    return false;
}

code_owner owner_of(const void* address, std::span<wchar_t> path) noexcept {
    if (!module_path_at(address, path)) {
        return code_owner::unknown;
    }
    if (image_base_of(address) == own_image) {
        return code_owner::this_program;
    }
    const std::wstring_view found(path.data());
    if (in_system_folder(found)) {
        return code_owner::system;
    }
    return is_language_runtime(found) ? code_owner::language_runtime : code_owner::other;
}

}  // namespace kestrum::crash
