#pragma once

// Scoped owners for what the COM runtime hands out: interface references,
// BSTRs and SAFEARRAYs. Each is filled through put(), so call sites never
// write Release, SysFreeString or SafeArrayDestroy themselves.

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <cstddef>
#include <string_view>
#include <utility>

namespace kestrum::platform {

// Owns one reference to a COM interface and releases it once.
template <typename Interface>
class unique_com_ref {
public:
    unique_com_ref() noexcept = default;
    unique_com_ref(const unique_com_ref&) = delete;
    unique_com_ref& operator=(const unique_com_ref&) = delete;
    unique_com_ref(unique_com_ref&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    unique_com_ref& operator=(unique_com_ref&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ~unique_com_ref() { reset(); }

    // Releases what is held and hands out the slot for an out-parameter.
    Interface** put() noexcept {
        reset();
        return &pointer_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    void reset() noexcept {
        if (Interface* held = std::exchange(pointer_, nullptr)) {
            held->Release();
        }
    }

    Interface* get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    Interface& operator*() const noexcept { return *pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // Asks the held object for another interface; the result is owned by |target|.
    template <typename Other>
    HRESULT query_to(REFIID iid, unique_com_ref<Other>& target) const noexcept {
        return pointer_->QueryInterface(iid, target.put_void());
    }

private:
    Interface* pointer_ = nullptr;
};

// Owns a BSTR and frees it with SysFreeString.
class unique_bstr {
public:
    unique_bstr() noexcept = default;
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    unique_bstr(unique_bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    unique_bstr& operator=(unique_bstr&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, nullptr);
        }
        return *this;
    }
    ~unique_bstr() { reset(); }

    BSTR* put() noexcept {
        reset();
        return &value_;
    }
    void reset() noexcept { ::SysFreeString(std::exchange(value_, nullptr)); }

    BSTR get() const noexcept { return value_; }

    // A null BSTR is COM's empty string, so it reads as empty text.
    std::wstring_view view() const noexcept {
        return value_ ? std::wstring_view(value_, ::SysStringLen(value_)) : std::wstring_view();
    }

private:
    BSTR value_ = nullptr;
};

// Owns a SAFEARRAY and destroys it exactly once. A locked array cannot be
// destroyed, so the owner also undoes its own lock before destroying.
class unique_safearray {
public:
    unique_safearray() noexcept = default;
    unique_safearray(const unique_safearray&) = delete;
    unique_safearray& operator=(const unique_safearray&) = delete;
    ~unique_safearray() { reset(); }

    SAFEARRAY** put() noexcept {
        reset();
        return &array_;
    }
    SAFEARRAY* get() const noexcept { return array_; }
    explicit operator bool() const noexcept { return array_ != nullptr; }

    HRESULT lock() noexcept {
        const HRESULT result = ::SafeArrayLock(array_);
        locked_ = SUCCEEDED(result);
        return result;
    }

    // Unlocks (if this owner locked it) and destroys. The array is only
    // destroyed when the unlock succeeded: destroying a locked array fails
    // and would leave a second attempt pending.
    void reset() noexcept {
        SAFEARRAY* held = std::exchange(array_, nullptr);
        if (!held) {
            return;
        }
        if (std::exchange(locked_, false) && FAILED(::SafeArrayUnlock(held))) {
            return;
        }
        ::SafeArrayDestroy(held);
    }

private:
    SAFEARRAY* array_ = nullptr;
    bool locked_ = false;
};

}  // namespace kestrum::platform
