#include "platform/file_facts.h"

#include "platform/library_function.h"

#include "platform/unique_resource.h"

#include <vector>

namespace kestrum::platform {
namespace {

// A version resource holds a few strings; anything near this size is not one.
constexpr DWORD max_version_info_bytes = 1 << 20;
constexpr int word_bits = 16;

// The language-neutral calls of version.dll (Vista and later), looked up in
// the library itself: the i686 MinGW import library names only the older
// ones. Only the worker gets here, so only it loads the library.
using version_info_size_function = DWORD(WINAPI*)(DWORD, LPCWSTR, LPDWORD);
using version_info_function = BOOL(WINAPI*)(DWORD, LPCWSTR, DWORD, DWORD, LPVOID);

template <typename Function>
Function version_function(const char* name) {
    return function_of<Function>(::LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), name);
}

class kernel32_file_facts final : public file_facts {
public:
    bool exists(const wchar_t* path) override {
        const DWORD attributes = ::GetFileAttributesW(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    std::size_t read_at(const wchar_t* path, DWORD offset, std::span<BYTE> buffer) override {
        const unique_handle file(::CreateFileW(path, GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return 0;
        }
        LARGE_INTEGER at{};
        at.QuadPart = offset;
        DWORD read = 0;
        if (::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) == FALSE ||
            ::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) == FALSE) {
            return 0;
        }
        return read;
    }

    std::optional<std::uint64_t> size(const wchar_t* path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (::GetFileAttributesExW(path, GetFileExInfoStandard, &data) == FALSE ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return std::nullopt;
        }
        constexpr unsigned dword_bits = 32;
        return (static_cast<std::uint64_t>(data.nFileSizeHigh) << dword_bits) | data.nFileSizeLow;
    }

    std::optional<file_version> version(const wchar_t* path) override {
        static const auto info_size = version_function<version_info_size_function>("GetFileVersionInfoSizeExW");
        static const auto info = version_function<version_info_function>("GetFileVersionInfoExW");
        if (info_size == nullptr || info == nullptr) {
            return std::nullopt;
        }
        DWORD ignored = 0;
        const DWORD size = info_size(FILE_VER_GET_NEUTRAL, path, &ignored);
        if (size == 0 || size > max_version_info_bytes) {
            return std::nullopt;
        }
        std::vector<BYTE> block(size);
        if (info(FILE_VER_GET_NEUTRAL, path, 0, size, block.data()) == FALSE) {
            return std::nullopt;
        }
        void* found = nullptr;
        UINT found_bytes = 0;
        if (::VerQueryValueW(block.data(), L"\\", &found, &found_bytes) == FALSE || found == nullptr ||
            found_bytes < sizeof(VS_FIXEDFILEINFO)) {
            return std::nullopt;
        }
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(found);
        if (fixed->dwSignature != VS_FFI_SIGNATURE) {
            return std::nullopt;
        }
        return file_version{
            static_cast<WORD>(fixed->dwFileVersionMS >> word_bits), static_cast<WORD>(fixed->dwFileVersionMS),
            static_cast<WORD>(fixed->dwFileVersionLS >> word_bits), static_cast<WORD>(fixed->dwFileVersionLS)};
    }
};

}  // namespace

file_facts& system_file_facts() {
    static kernel32_file_facts instance;
    return instance;
}

}  // namespace kestrum::platform
