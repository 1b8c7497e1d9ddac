#pragma once

// The records PowerPoint keeps under Resiliency\DisabledItems, one REG_BINARY
// value each: DWORD kind, DWORD bytes of the path, DWORD bytes of the name
// (both counting the terminating null), the path, the name, in UTF-16LE,
// every number little-endian. Read as the data they are.

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

// The item names the add-in: its path is the server's, ignoring case; or its
// name is one of the add-in's friendly names; or, for a .NET add-in, its path
// ends in \mscoree.dll, which serves every such add-in. Office does not say
// which of these it matches by, so any of them counts.
bool names_addin(const disabled_item& item, const addin_identity& addin);

}  // namespace kestrum::reports
