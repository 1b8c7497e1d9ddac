#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kestrum::platform {

// The system's own description of a Win32 error code, in UTF-8, without the
// trailing line break.
std::string system_error_text(DWORD error);

// Writes one line to standard error: UTF-16 on a console, so every code page
// shows it right, UTF-8 bytes otherwise.
void write_error_line(std::string_view utf8_line);

}  // namespace kestrum::platform
