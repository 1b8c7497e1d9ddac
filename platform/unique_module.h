#pragma once

// A scoped owner for one loader reference to a library, so call sites never
// write FreeLibrary themselves.

#include <windows.h>

#include <utility>

namespace kestrum::platform {

// Owns one reference to a loaded library and gives it back to the loader once.
class unique_module {
public:
    unique_module() noexcept = default;
    explicit unique_module(HMODULE module) noexcept : module_(module) {}
    unique_module(const unique_module&) = delete;
    unique_module& operator=(const unique_module&) = delete;
    unique_module(unique_module&& other) noexcept : module_(std::exchange(other.module_, nullptr)) {}
    unique_module& operator=(unique_module&& other) noexcept {
        if (this != &other) {
            reset();
            module_ = std::exchange(other.module_, nullptr);
        }
        return *this;
    }
    ~unique_module() { reset(); }

    void reset() noexcept {
        if (HMODULE held = std::exchange(module_, nullptr)) {
            ::FreeLibrary(held);
        }
    }

    HMODULE get() const noexcept { return module_; }
    explicit operator bool() const noexcept { return module_ != nullptr; }

private:
    HMODULE module_ = nullptr;
};

}  // namespace kestrum::platform
