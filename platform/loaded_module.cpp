#include "platform/loaded_module.h"

#include "platform/thread_block.h"

namespace kestrum::platform {
namespace {

// A loader list longer than this is a broken one.
constexpr int most_modules = 65536;

wchar_t system_directory[MAX_PATH] = {};
std::size_t system_directory_length = 0;
const void* own_image = nullptr;

// File name prefixes of the C and C++ runtime libraries that ship beside
// programs (MinGW's and Microsoft's); a throw or an abort passes through them.
constexpr const wchar_t* runtime_prefixes[] = {
    L"libgcc_s_", L"libstdc++-", L"libwinpthread-", L"libc++", L"libunwind", L"vcruntime", L"msvcp",
    L"msvcr", L"ucrtbase", L"concrt", L"api-ms-win-crt-",
};

wchar_t ascii_lower(wchar_t c) noexcept { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool starts_with_ignoring_case(const wchar_t* text, const wchar_t* prefix, std::size_t prefix_length) noexcept {
    for (std::size_t index = 0; index < prefix_length; ++index) {
        if (text[index] == L'\0' || ascii_lower(text[index]) != ascii_lower(prefix[index])) {
            return false;
        }
    }
    return true;
}

std::size_t length_of(const wchar_t* text) noexcept {
    std::size_t length = 0;
    while (text[length] != L'\0') {
        ++length;
    }
    return length;
}

const wchar_t* file_name_of(const wchar_t* path) noexcept {
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/') {
            name = c + 1;
        }
    }
    return name;
}

bool in_system_directory(const wchar_t* path) noexcept {
    return system_directory_length > 0 && starts_with_ignoring_case(path, system_directory, system_directory_length) &&
           path[system_directory_length] == L'\\';
}

bool is_language_runtime(const wchar_t* path) noexcept {
    const wchar_t* name = file_name_of(path);
    for (const wchar_t* prefix : runtime_prefixes) {
        if (starts_with_ignoring_case(name, prefix, length_of(prefix))) {
            return true;
        }
    }
    return false;
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
    const UINT length = ::GetSystemDirectoryW(system_directory, MAX_PATH);
    system_directory_length = length < MAX_PATH ? length : 0;
    own_image = ::GetModuleHandleW(nullptr);
}

bool module_path_at(const void* address, wchar_t* path, std::size_t capacity) noexcept {
    if (capacity == 0) {
        return false;
    }
    path[0] = L'\0';
    const void* base = image_base_of(address);
    if (base == nullptr) {
        return false;
    }
    // The loader's own list, read without its lock (see the header).
    const PEB_LDR_DATA* loader = current_process_block()->Ldr;
    const LIST_ENTRY* head = &loader->InMemoryOrderModuleList;
    int visited = 0;
    for (const LIST_ENTRY* link = head->Flink; link != head && visited < most_modules; link = link->Flink, ++visited) {
        const auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
        if (entry->DllBase != base) {
            continue;
        }
        const std::size_t length = entry->FullDllName.Length / sizeof(wchar_t);
        const std::size_t copied = length < capacity - 1 ? length : capacity - 1;
        for (std::size_t index = 0; index < copied; ++index) {
            path[index] = entry->FullDllName.Buffer[index];
        }
        path[copied] = L'\0';
        return true;
    }
    return false;
}

code_owner owner_of(const void* address, wchar_t* path, std::size_t capacity) noexcept {
    if (!module_path_at(address, path, capacity)) {
        return code_owner::unknown;
    }
    if (image_base_of(address) == own_image) {
        return code_owner::this_program;
    }
    if (in_system_directory(path)) {
        return code_owner::system;
    }
    return is_language_runtime(path) ? code_owner::language_runtime : code_owner::other;
}

}  // namespace kestrum::platform
