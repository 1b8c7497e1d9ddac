#pragma once

#include <windows.h>

#include <utility>

namespace kestrum::platform {

// Owns a kernel object handle and closes it once. Both null and
// INVALID_HANDLE_VALUE mean "nothing held", as CreateFileW and friends use either.
class unique_handle {
public:
    unique_handle() noexcept = default;
    explicit unique_handle(HANDLE handle) noexcept : handle_(handle) {}
    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    unique_handle(unique_handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    unique_handle& operator=(unique_handle&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    ~unique_handle() { reset(); }

    void reset(HANDLE handle = nullptr) noexcept {
        const HANDLE held = std::exchange(handle_, handle);
        if (held != nullptr && held != INVALID_HANDLE_VALUE) {
            ::CloseHandle(held);
        }
    }

    HANDLE get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace kestrum::platform
