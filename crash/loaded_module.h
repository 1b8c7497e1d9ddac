#pragma once

// Module lookups for a process that is dying. They take no lock and allocate
// nothing: the loader lock may be held by a thread that will never let go, and
// the heap may be what broke. Only the crash path calls them.

#include <windows.h>

#include <span>
#include <string_view>

namespace kestrum::crash {

// Remembers, while the process is healthy, what the lookups compare against:
// the system folders and this program's own image.
void remember_own_modules() noexcept;

// Whether |path| lies in a system folder: the system directory, SysWOW64
// where there is one, or the side-by-side store under the Windows folder
// (WinSxS). Answers once remember_own_modules() has run.
bool in_system_folder(std::wstring_view path) noexcept;

// Copies the full path of the module whose image holds |address| into |path|
// (zero-terminated, cut to fit). False, with |path| empty, when the address
// lies in no loaded module.
bool module_path_at(const void* address, std::span<wchar_t> path) noexcept;

// Whose code a frame is: the system's libraries and the C and C++ runtimes
// merely pass a failure on, this program only reports it; the rest is the
// add-in's and what it brought along.
enum class code_owner { unknown, system, language_runtime, this_program, other };

code_owner owner_of(const void* address, std::span<wchar_t> path) noexcept;

}  // namespace kestrum::crash
