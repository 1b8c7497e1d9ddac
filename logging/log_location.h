#pragma once

// Where the log went, as the system resolved it: a 32-bit edition started in
// C:\Windows\System32 writes to SysWOW64 through the file system redirector,
// and a relative folder says nothing of the drive or share.

#include <windows.h>

#include <string>
#include <string_view>

namespace kestrum::logging {

// A path from GetFinalPathNameByHandleW without the "\\?\" before it, and one
// on a share ("\\?\UNC\server\share\...") as "\\server\share\...".
std::wstring without_long_path_prefix(std::wstring_view final_path);

// "Log: C:\...\PexloKestrumLogs\kestrum_<seconds>.log" for the open log
// |file|; empty when the system cannot name it.
std::string log_location_line(HANDLE file);

// Writes |line| on standard error, when there is one.
void write_log_location(const std::string& line);

}  // namespace kestrum::logging
