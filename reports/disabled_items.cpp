#include "reports/disabled_items.h"

#include "reports/addin_prog_id.h"
#include "reports/value_forms.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrum::reports {
namespace {

constexpr std::size_t header_bytes = 3 * sizeof(DWORD);

DWORD little_endian_dword(std::span<const BYTE> bytes, std::size_t at) {
    constexpr unsigned byte_bits = 8;
    DWORD value = 0;
    for (std::size_t index = sizeof(DWORD); index-- > 0;) {
        value = (value << byte_bits) | bytes[at + index];
    }
    return value;
}

// UTF-16LE text without its terminating null: a null inside it stays, so a
// path is never matched by the part before one.
std::wstring utf16le_text(std::span<const BYTE> bytes) {
    constexpr unsigned byte_bits = 8;
    std::wstring text;
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        text += static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << byte_bits));
    }
    if (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::optional<disabled_item> decode_disabled_item(std::span<const BYTE> value) {
    if (value.size() < header_bytes) {
        return std::nullopt;
    }
    const std::uint64_t path_bytes = little_endian_dword(value, sizeof(DWORD));
    const std::uint64_t name_bytes = little_endian_dword(value, 2 * sizeof(DWORD));
    // 64-bit sums: two lengths near 4 GiB cannot wrap around to fit.
    if (path_bytes % 2 != 0 || name_bytes % 2 != 0 || header_bytes + path_bytes + name_bytes > value.size()) {
        return std::nullopt;
    }
    // Both fit in the value now, so in its size type too.
    const auto path_size = static_cast<std::size_t>(path_bytes);
    const auto name_size = static_cast<std::size_t>(name_bytes);
    disabled_item item;
    item.kind = little_endian_dword(value, 0);
    item.path = utf16le_text(value.subspan(header_bytes, path_size));
    item.name = utf16le_text(value.subspan(header_bytes + path_size, name_size));
    return item;
}

item_match match_addin(const disabled_item& item, const addin_identity& addin) {
    bool named = false;
    for (const std::wstring& name : addin.friendly_names) {
        named = named || (!name.empty() && item.name == name);
    }
    if (addin.friendly_names.empty()) {
        named = item.name == addin_prog_id;
    }
    if (addin.managed) {
        const bool hosting_layer = ends_with_ignoring_case(item.path, L"\\mscoree.dll");
        if (hosting_layer) {
            return named ? item_match::names : item_match::other;
        }
    } else if (!addin.server_path.empty() && equal_ignoring_case(item.path, addin.server_path)) {
        return item_match::names;
    }
    return named ? item_match::maybe : item_match::other;
}

}  // namespace kestrum::reports
