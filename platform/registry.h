#pragma once

// The registry and file-system reads the registration report makes, behind an
// interface so that tests can stand in for them. Every call only reads: keys
// are opened with KEY_READ, nothing is loaded and nothing is written.

#include <windows.h>

#include <string>

namespace kestrum::platform {

// The two registry views of a 64-bit Windows: COM classes of 64-bit and of
// 32-bit programs live apart (KEY_WOW64_64KEY and KEY_WOW64_32KEY).
enum class registry_view { bits64, bits32 };

// The view this edition's own COM activation reads.
constexpr registry_view this_edition_view() noexcept {
#if defined(_WIN64)
    return registry_view::bits64;
#else
    return registry_view::bits32;
#endif
}

constexpr registry_view other_view(registry_view view) noexcept {
    return view == registry_view::bits64 ? registry_view::bits32 : registry_view::bits64;
}

// The folders of this process that the loader searches for a DLL named
// without a full path, other than the system folder of a view.
enum class process_folder {
    program,      // the folder of this process's exe
    windows,      // GetWindowsDirectoryW
    working,      // GetCurrentDirectoryW
    system_named  // GetSystemDirectoryW: in a 32-bit process on 64-bit Windows
                  // "System32", which the file system sends to the 32-bit folder
};

class registry {
public:
    virtual ~registry() = default;

    // RegOpenKeyExW(root, subkey, 0, KEY_READ | the view's flag, ...), the key
    // closed again: ERROR_SUCCESS when the key is there to read.
    virtual LSTATUS probe_key(HKEY root, const wchar_t* subkey, registry_view view) = 0;
    // RegQueryValueExW on root\subkey opened as above; |name| null or empty
    // for the default value. With |data| null only the size is asked for.
    virtual LSTATUS query_value(HKEY root, const wchar_t* subkey, registry_view view, const wchar_t* name, DWORD* type,
                                BYTE* data, DWORD* size_bytes) = 0;
    // RegEnumValueW(root\subkey opened as above, index, ...): the value at
    // |index|, ERROR_NO_MORE_ITEMS past the last; |name_chars| in and out as
    // RegEnumValueW counts them, ERROR_MORE_DATA when either buffer is short.
    virtual LSTATUS enumerate_value(HKEY root, const wchar_t* subkey, registry_view view, DWORD index, wchar_t* name,
                                    DWORD* name_chars, DWORD* type, BYTE* data, DWORD* size_bytes) = 0;
    // ExpandEnvironmentStringsW(source, expanded, size_chars)
    virtual DWORD expand_environment_strings(const wchar_t* source, wchar_t* expanded, DWORD size_chars) = 0;
    // GetFileAttributesW(path)
    virtual DWORD file_attributes(const wchar_t* path) = 0;
    // The folder where this process finds the system files of programs of the
    // view's bitness; empty when there is none.
    virtual std::wstring system_folder(registry_view view) = 0;

    // The reads below answer "not known" (false, empty) unless a registry
    // overrides them, so a stand-in written without them still builds.

    // Whether this process's token is elevated (GetTokenInformation with
    // TokenElevation); false also when that cannot be told.
    virtual bool process_is_elevated() { return false; }
    // GetEnvironmentVariableW(name): empty when it is not set.
    virtual std::wstring environment_variable(const wchar_t* /*name*/) { return {}; }
    // One of this process's folders, without a trailing backslash unless it
    // is a drive's root; empty when it cannot be read.
    virtual std::wstring folder(process_folder /*which*/) { return {}; }
};

// The real calls of advapi32 and kernel32.
registry& system_registry();

}  // namespace kestrum::platform
