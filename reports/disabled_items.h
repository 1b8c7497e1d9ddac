#pragma once

// The records PowerPoint keeps under Resiliency\DisabledItems, one REG_BINARY
// value each: DWORD kind, DWORD bytes of the path, DWORD bytes of the name
// (both counting the terminating null), the path, the name, in UTF-16LE,
// every number little-endian. Read as the data they are: a null inside a
// text is kept, only the terminating one dropped.

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrum::reports {

struct disabled_item {
    DWORD kind = 0;
    std::wstring path;  // Office stores it lower-case
    std::wstring name;
};

// The record in |value|, or none when it is not one: shorter than its three
// numbers, lengths past its end or of odd byte counts.
std::optional<disabled_item> decode_disabled_item(std::span<const BYTE> value);

// What a disabled item can name the add-in by.
struct addin_identity {
    std::wstring server_path;                  // the server's file, empty when not known
    bool managed = false;                      // registered through mscoree.dll
    std::vector<std::wstring> friendly_names;  // of its entries with PowerPoint
};

enum class item_match { other, maybe, names };

// Whether the item is the add-in. A native server is named by its whole path,
// ignoring case. Since Office 2007 an item disables only the add-in that
// failed, so an item for mscoree.dll, which serves every .NET add-in without
// a shim of its own, names a .NET add-in together with its name (a friendly
// name, or the ProgID) only, and is some other add-in under another name. An
// item with the add-in's name but another path may be it: Office does not say
// how it matches.
item_match match_addin(const disabled_item& item, const addin_identity& addin);

}  // namespace kestrum::reports
