#pragma once

// What the checks learn about a file without running any of it: whether it
// is there, bytes of its header, and the numbers of its version resource.
// Behind an interface so that tests can stand in for the file system.

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kestrum::platform {

// a.b.c.d, as VS_FIXEDFILEINFO holds a file version.
using file_version = std::array<WORD, 4>;

class file_facts {
public:
    virtual ~file_facts() = default;

    // GetFileAttributesW(path) names a file, not a folder.
    virtual bool exists(const wchar_t* path) = 0;
    // Up to buffer.size() bytes from |offset| of the file, opened for reading
    // only and shared with every other user of it: the count read, 0 when it
    // cannot be opened or read.
    virtual std::size_t read_at(const wchar_t* path, DWORD offset, std::span<BYTE> buffer) = 0;
    // The file's size in bytes (GetFileAttributesExW); none when it cannot be
    // told. A reader checks every offset it takes from a file against it.
    virtual std::optional<std::uint64_t> size(const wchar_t* path) = 0;
    // The file version of the language-neutral version resource
    // (GetFileVersionInfoExW with FILE_VER_GET_NEUTRAL, which maps the file
    // as data and runs none of it); none without one.
    virtual std::optional<file_version> version(const wchar_t* path) = 0;
};

// The real calls of kernel32 and version.dll.
file_facts& system_file_facts();

}  // namespace kestrum::platform
