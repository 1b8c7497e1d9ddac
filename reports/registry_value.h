#pragma once

// Reading the registry without trusting it: a value may be missing, of
// another type than asked for, unterminated, hold a null inside it, end in
// half a character or be far longer than any path. Text, numbers and binary
// values come back as one result, which the records name one way: "missing",
// "not text but REG_DWORD", "cannot be read (error 5)". A key is looked for
// scope by scope the same way.

#include "platform/process_context.h"
#include "platform/registry.h"

#include <windows.h>

#include <ranges>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrum::reports {

enum class value_state { present, missing, wrong_type, too_long, unreadable };
// What the reader asked for: what a present value holds, and what a value of
// another type is not.
enum class value_form { text, number, bytes };

struct registry_value {
    value_form form = value_form::text;
    value_state state = value_state::missing;
    DWORD type = REG_NONE;          // with present and wrong_type: the type found
    LSTATUS error = ERROR_SUCCESS;  // with unreadable
    // Text: every whole character stored, nulls inside it too; one null at
    // the end is the terminator, not part of the value.
    std::wstring text;
    bool odd_length = false;  // text: a last byte, half a character, left out of |text|
    DWORD number = 0;
    std::vector<BYTE> bytes;
    DWORD size = 0;  // bytes: the value's size, also when it was too large to be read

    bool has_text() const noexcept { return state == value_state::present && form == value_form::text; }
    bool has_number() const noexcept { return state == value_state::present && form == value_form::number; }
    bool expandable() const noexcept { return has_text() && type == REG_EXPAND_SZ; }
    // |text| as a reader of null-terminated text takes it: up to the first null.
    std::wstring_view up_to_null() const noexcept { return std::wstring_view(text).substr(0, text.find(L'\0')); }
};

// A key or value that is not there, as the registry calls say so.
bool is_missing(LSTATUS status) noexcept;

// The value |name| (null: the default value) of root\subkey in |view|, as
// REG_SZ or REG_EXPAND_SZ text.
registry_value read_registry_text(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                  platform::registry_view view, const wchar_t* name);

// The same as a REG_DWORD; one of another size is no number either.
registry_value read_registry_number(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                    platform::registry_view view, const wchar_t* name);

// One value of a key as RegEnumValueW hands it over, of any type, as bytes.
struct enumerated_value {
    std::wstring name;
    registry_value value;  // missing past the last value
};

// The value at |index| of root\subkey in |view|.
enumerated_value read_enumerated_value(platform::registry& registry, HKEY root, const std::wstring& subkey,
                                       platform::registry_view view, DWORD index);

// The value as a record shows it: text escaped (a null as <U+0000>), with
// "(REG_EXPAND_SZ)" and "(odd length: the last byte is ignored)" where so, or
// "empty"; a number in decimal; otherwise "missing", "not text but
// REG_DWORD", "not a number but REG_SZ", "cannot be read (error 5)" and so on.
std::wstring describe_registry_value(const registry_value& value);

// "cannot be read (error 5)": a value or key there that cannot be read.
std::wstring cannot_be_read(LSTATUS error);

// A key looked for in a list of scopes, in the list's order: per user, then
// per machine, where the per-user one wins; or the policy scopes. Each of
// |scopes| (with a member |root|) where the key |subkey_of(scope)| names is
// there in |view|, with the status of opening it: a scope without it is left
// out, one where it cannot be opened is kept, for its record to say so.
template <typename Scopes, typename SubkeyOf>
auto scopes_with(platform::registry& registry, const Scopes& scopes, platform::registry_view view, SubkeyOf subkey_of) {
    using scope_type = std::ranges::range_value_t<Scopes>;
    std::vector<std::pair<const scope_type*, LSTATUS>> found;
    for (const scope_type& scope : scopes) {
        const std::wstring& subkey = subkey_of(scope);
        const LSTATUS opened = registry.probe_key(scope.root, subkey.c_str(), view);
        if (!is_missing(opened)) {
            found.emplace_back(&scope, opened);
        }
    }
    return found;
}

// "REG_DWORD", "REG_BINARY", ..., or "type 42".
std::wstring registry_type_name(DWORD type);

// |text| with its environment variables replaced; empty when that fails.
std::wstring expand_environment(platform::process_context& context, const std::wstring& text);

// The same for a value of |view|, as a program of that view's bitness
// expands it: %ProgramFiles% and %CommonProgramFiles% name the other
// bitness's folders when |view| is not this edition's.
std::wstring expand_environment(platform::process_context& context, const std::wstring& text,
                                platform::registry_view view);

}  // namespace kestrum::reports
