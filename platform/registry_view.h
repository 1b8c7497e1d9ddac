#pragma once

// The two registry views of a 64-bit Windows: COM classes of 64-bit and of
// 32-bit programs live apart (KEY_WOW64_64KEY and KEY_WOW64_32KEY), and so do
// the system files programs of either bitness load.

namespace kestrum::platform {

enum class registry_view { bits64, bits32 };

// The view this edition's own COM activation reads.
constexpr registry_view this_edition_view() noexcept {
#if defined(_WIN64)
    return registry_view::bits64;
#else
    return registry_view::bits32;
#endif
}

constexpr registry_view other_view(registry_view view) noexcept {
    return view == registry_view::bits64 ? registry_view::bits32 : registry_view::bits64;
}

}  // namespace kestrum::platform
