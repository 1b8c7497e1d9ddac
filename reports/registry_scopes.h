#pragma once

// A key looked for in a list of scopes, in the list's order: per user, then
// per machine, where the per-user one wins; or the policy scopes. A scope
// without the key is left out; one where it is there but cannot be opened is
// kept, for its record to say it "cannot be read (error N)".

#include "reports/registry_value.h"
#include "platform/registry.h"

#include <windows.h>

#include <ranges>
#include <string>
#include <vector>

namespace kestrum::reports {

template <typename Scope>
struct key_in_scope {
    const Scope* scope = nullptr;
    LSTATUS opened = ERROR_SUCCESS;  // or why the key cannot be read
};

// Each of |scopes| (with a member |root|) where the key |subkey_of(scope)|
// names below that root is there in |view|.
template <typename Scopes, typename SubkeyOf>
auto scopes_with(platform::registry& registry, const Scopes& scopes, platform::registry_view view, SubkeyOf subkey_of) {
    using scope_type = std::ranges::range_value_t<Scopes>;
    std::vector<key_in_scope<scope_type>> found;
    for (const scope_type& scope : scopes) {
        const std::wstring subkey = subkey_of(scope);
        const LSTATUS opened = registry.probe_key(scope.root, subkey.c_str(), view);
        if (!is_missing(opened)) {
            found.push_back({&scope, opened});
        }
    }
    return found;
}

}  // namespace kestrum::reports
