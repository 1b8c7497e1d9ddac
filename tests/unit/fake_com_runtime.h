#pragma once

#include "platform/com_runtime.h"
#include "tests/unit/counted_object.h"

#include <string>
#include <vector>

namespace kestrum::testing {

// Answers each activation call with a scripted result and keeps the order of
// calls, Release of the add-in object included, in one event list.
class fake_com_runtime final : public platform::com_runtime {
public:
    HRESULT initialize_result = S_OK;
    HRESULT resolve_result = S_OK;
    HRESULT create_result = S_OK;
    bool create_yields_object = true;

    std::vector<std::string> events;
    counted_object addin{&events, "addin"};
    std::wstring resolved_prog_id;

    HRESULT initialize_multithreaded() override {
        events.push_back("initialize");
        return initialize_result;
    }
    void uninitialize() override { events.push_back("uninitialize"); }
    HRESULT class_id_from_prog_id(const wchar_t* prog_id, CLSID* clsid) override {
        events.push_back("resolve");
        resolved_prog_id = prog_id;
        *clsid = CLSID{};
        return resolve_result;
    }
    HRESULT create_inproc_instance(REFCLSID, IUnknown** instance) override {
        events.push_back("create");
        *instance = nullptr;
        if (SUCCEEDED(create_result) && create_yields_object) {
            addin.AddRef();
            *instance = &addin;
        }
        return create_result;
    }
};

}  // namespace kestrum::testing
