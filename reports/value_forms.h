#pragma once

// The forms registry text takes that both reports read: class IDs, file URLs,
// and names compared as Windows compares them, ignoring case.

#include <string>
#include <string_view>

namespace kestrum::reports {

bool equal_ignoring_case(std::wstring_view left, std::wstring_view right);
bool starts_with_ignoring_case(std::wstring_view text, std::wstring_view prefix);
bool ends_with_ignoring_case(std::wstring_view text, std::wstring_view end);

// |name| in |folder|, with one separator between them; empty for no folder.
std::wstring joined_path(const std::wstring& folder, std::wstring_view name);

// A name Windows opens as a device, not a file: CON, PRN, AUX, NUL, COM0-9
// and LPT0-9 as the last part of a path, with any extension and trailing
// blanks, or a path in the "\\.\" device namespace. Such a "file" exists to
// GetFileAttributesW, and reading it may wait on the device.
bool is_device_name(std::wstring_view path);

// A name in quotes without them, and without anything after the closing one,
// as COM and the shell take such a name; |quoted| says so. Anything else as
// it is.
std::wstring unquoted(const std::wstring& name, bool& quoted);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}": only such text is used as a key
// name, so a value cannot lead a report to read some other key.
bool is_class_id(std::wstring_view text);

// The path a .NET CodeBase names: "file:///C:/folder/name%20x.dll" is
// C:\folder\name x.dll, "file://server/share/..." a share; anything else is
// taken as the path it looks like.
std::wstring path_from_file_url(const std::wstring& code_base);

}  // namespace kestrum::reports
