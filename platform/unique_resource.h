#pragma once

// Scoped owners for what kernel32 and advapi32 hand out, so call sites never
// write CloseHandle, FreeLibrary or RegCloseKey themselves.

#include <windows.h>

#include <utility>

namespace kestrum::platform {

// Owns one resource described by |Traits| (its type, when a value holds
// something, how to let it go) and lets it go once.
template <typename Traits>
class unique_resource {
public:
    using value_type = typename Traits::type;

    unique_resource() noexcept = default;
    explicit unique_resource(value_type value) noexcept : value_(value) {}
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    unique_resource(unique_resource&& other) noexcept : value_(std::exchange(other.value_, value_type{})) {}
    unique_resource& operator=(unique_resource&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.value_, value_type{}));
        }
        return *this;
    }
    ~unique_resource() { reset(); }

    void reset(value_type value = value_type{}) noexcept {
        const value_type held = std::exchange(value_, value);
        if (Traits::holds(held)) {
            Traits::release(held);
        }
    }

    value_type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::holds(value_); }

private:
    value_type value_{};
};

// A kernel object handle. Both null and INVALID_HANDLE_VALUE mean "nothing
// held", as CreateFileW and friends use either.
struct kernel_handle_traits {
    using type = HANDLE;
    static bool holds(HANDLE handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void release(HANDLE handle) noexcept { ::CloseHandle(handle); }
};

// One loader reference to a library.
struct loaded_library_traits {
    using type = HMODULE;
    static bool holds(HMODULE module) noexcept { return module != nullptr; }
    static void release(HMODULE module) noexcept { ::FreeLibrary(module); }
};

// An open registry key.
struct registry_key_traits {
    using type = HKEY;
    static bool holds(HKEY key) noexcept { return key != nullptr; }
    static void release(HKEY key) noexcept { ::RegCloseKey(key); }
};

// A search of FindFirstFileExW, which gives INVALID_HANDLE_VALUE for none.
struct find_handle_traits {
    using type = HANDLE;
    static bool holds(HANDLE handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void release(HANDLE handle) noexcept { ::FindClose(handle); }
};

using unique_handle = unique_resource<kernel_handle_traits>;
using unique_find_handle = unique_resource<find_handle_traits>;
using unique_module = unique_resource<loaded_library_traits>;
using unique_registry_key = unique_resource<registry_key_traits>;

}  // namespace kestrum::platform
