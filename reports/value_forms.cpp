#include "reports/value_forms.h"

#include "platform/text_encoding.h"

#include <windows.h>

#include <cwctype>

namespace kestrum::reports {

bool equal_ignoring_case(std::wstring_view left, std::wstring_view right) {
    return left.size() == right.size() &&
           ::CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool starts_with_ignoring_case(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

bool ends_with_ignoring_case(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() && equal_ignoring_case(text.substr(text.size() - end.size()), end);
}

std::wstring joined_path(const std::wstring& folder, std::wstring_view name) {
    if (folder.empty()) {
        return folder;
    }
    const bool ends_in_separator = folder.back() == L'\\' || folder.back() == L'/';
    return folder + (ends_in_separator ? L"" : L"\\") + std::wstring(name);
}

bool is_device_name(std::wstring_view path) {
    if (starts_with_ignoring_case(path, L"\\\\.\\")) {
        return true;
    }
    const std::size_t name_at = path.find_last_of(L"\\/:");
    std::wstring_view name = name_at == std::wstring_view::npos ? path : path.substr(name_at + 1);
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ') {
        name.remove_suffix(1);
    }
    for (const std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
        if (equal_ignoring_case(name, device)) {
            return true;
        }
    }
    // COM0 to COM9 and LPT0 to LPT9, and the superscript digits Windows takes as the same.
    constexpr std::wstring_view port_digits = L"0123456789\u00B9\u00B2\u00B3";
    constexpr std::size_t port_name_size = 4;
    return name.size() == port_name_size &&
           (starts_with_ignoring_case(name, L"COM") || starts_with_ignoring_case(name, L"LPT")) &&
           port_digits.find(name.back()) != std::wstring_view::npos;
}

std::wstring unquoted(const std::wstring& name, bool& quoted) {
    quoted = false;
    if (name.size() >= 2 && name.front() == L'"') {
        if (const std::size_t closing = name.find(L'"', 1); closing != std::wstring::npos) {
            quoted = true;
            return name.substr(1, closing - 1);
        }
    }
    return name;
}

bool is_class_id(std::wstring_view text) {
    constexpr std::wstring_view pattern = L"{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (text.size() != pattern.size()) {
        return false;
    }
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] == L'x' ? std::iswxdigit(text[at]) == 0 : text[at] != pattern[at]) {
            return false;
        }
    }
    return true;
}

// A .NET CodeBase is a URL, "file:///C:/folder/name.dll"; anything else is
// taken as the path it looks like.
std::wstring path_from_file_url(const std::wstring& code_base) {
    constexpr std::wstring_view local_file = L"file:///";
    constexpr std::wstring_view shared_file = L"file://";  // file://server/share/...
    std::wstring path;
    if (starts_with_ignoring_case(code_base, local_file)) {
        path = code_base.substr(local_file.size());
    } else if (starts_with_ignoring_case(code_base, shared_file)) {
        path = L"\\\\" + code_base.substr(shared_file.size());
    } else {
        return code_base;
    }
    for (wchar_t& character : path) {
        if (character == L'/') {
            character = L'\\';
        }
    }
    if (path.find(L'%') == std::wstring::npos) {
        return path;
    }
    // Percent-escapes stand for the bytes of the UTF-8 form.
    const auto hex_value = [](char digit) {
        constexpr int ten = 10;
        if (digit >= '0' && digit <= '9') {
            return digit - '0';
        }
        if (digit >= 'A' && digit <= 'F') {
            return digit - 'A' + ten;
        }
        return digit >= 'a' && digit <= 'f' ? digit - 'a' + ten : -1;
    };
    const std::string utf8 = platform::to_utf8(path);
    std::string decoded;
    for (std::size_t at = 0; at < utf8.size(); ++at) {
        if (utf8[at] == '%' && at + 2 < utf8.size() && hex_value(utf8[at + 1]) >= 0 && hex_value(utf8[at + 2]) >= 0) {
            constexpr int high_shift = 4;
            decoded += static_cast<char>((hex_value(utf8[at + 1]) << high_shift) | hex_value(utf8[at + 2]));
            at += 2;
        } else {
            decoded += utf8[at];
        }
    }
    return platform::to_utf16(decoded);
}

}  // namespace kestrum::reports
