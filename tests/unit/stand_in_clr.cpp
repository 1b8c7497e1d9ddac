#include "tests/unit/stand_in_clr.h"

#include "platform/clr_interfaces.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrum::testing {
namespace {

template <typename Function>
Function stand_in_export(HMODULE library, const char* name) {
    auto* address = ::GetProcAddress(library, name);
    if (!address) {
        ADD_FAILURE() << "the stand-in exports no " << name;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

std::wstring beside_test_program(const wchar_t* file_name) {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + file_name;
}

using counter_fn = long(WINAPI*)();

long read_counter(HMODULE library, const char* name) {
    const auto counter = stand_in_export<counter_fn>(library, name);
    return counter ? counter() : -1;
}

}  // namespace

stand_in_clr::stand_in_clr(const wchar_t* scenario) {
    library_ = ::LoadLibraryW(beside_test_program(L"stand_in_clr.dll").c_str());
    if (!library_) {
        ADD_FAILURE() << "stand_in_clr.dll did not load: " << ::GetLastError();
        return;
    }
    using select_fn = BOOL(WINAPI*)(const wchar_t*);
    if (const auto select = stand_in_export<select_fn>(library_, "StandInSelectScenario")) {
        EXPECT_TRUE(select(scenario)) << "unknown stand-in scenario";
    }
    // The library stays loaded across tests; counts are read from here on.
    baseline_arrays_created_ = read_counter(library_, "StandInArraysCreated");
    baseline_arrays_destroyed_ = read_counter(library_, "StandInArraysDestroyed");
}

HRESULT stand_in_clr::create_meta_host(ICLRMetaHost** meta_host) {
    *meta_host = nullptr;
    const auto create = stand_in_export<platform::CLRCreateInstanceFunction>(library_, "CLRCreateInstance");
    if (!create) {
        return E_FAIL;
    }
    return create(platform::CLSID_CLRMetaHost, platform::IID_ICLRMetaHost, reinterpret_cast<LPVOID*>(meta_host));
}

long stand_in_clr::outstanding_references() const { return read_counter(library_, "StandInOutstandingReferences"); }
long stand_in_clr::live_objects() const { return read_counter(library_, "StandInLiveObjects"); }
long stand_in_clr::meta_hosts_released_early() const {
    return read_counter(library_, "StandInMetaHostsReleasedEarly");
}
long stand_in_clr::arrays_created() const {
    return read_counter(library_, "StandInArraysCreated") - baseline_arrays_created_;
}
long stand_in_clr::arrays_destroyed() const {
    return read_counter(library_, "StandInArraysDestroyed") - baseline_arrays_destroyed_;
}

}  // namespace kestrum::testing
