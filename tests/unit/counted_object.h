#pragma once

// A minimal COM object for tests: counts its references and writes each
// Release into a shared event list, so tests can check ownership and order.

#include <windows.h>
#include <unknwn.h>

#include <string>
#include <vector>

namespace kestrum::testing {

class counted_object final : public IUnknown {
public:
    explicit counted_object(std::vector<std::string>* events = nullptr, std::string name = "object")
        : events_(events), name_(std::move(name)) {}
    virtual ~counted_object() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        if (events_) {
            events_->push_back("release " + name_);
        }
        return static_cast<ULONG>(--references_);
    }

    long references() const { return references_; }

private:
    std::vector<std::string>* events_;
    std::string name_;
    long references_ = 1;
};

}  // namespace kestrum::testing
