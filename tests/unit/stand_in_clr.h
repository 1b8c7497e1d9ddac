#pragma once

// The stand-in .NET hosting layer loaded into the test process, so a test can
// pick its scenario and read back its reference and array counts.

#include "platform/clr_hosting.h"

namespace kestrum::testing {

class stand_in_clr final : public platform::clr_hosting {
public:
    // Loads stand_in_clr.dll from the test program's folder and selects |scenario|.
    explicit stand_in_clr(const wchar_t* scenario);

    HANDLE current_process() override { return ::GetCurrentProcess(); }
    HRESULT create_meta_host(ICLRMetaHost** meta_host) override;
    // The stand-in is loaded under a name of its own: nothing to hold.
    platform::unique_module hold_hosting_layer() override { return {}; }

    long outstanding_references() const;
    long live_objects() const;
    long meta_hosts_released_early() const;
    long arrays_created() const;
    long arrays_destroyed() const;

private:
    HMODULE library_ = nullptr;
    long baseline_arrays_created_ = 0;
    long baseline_arrays_destroyed_ = 0;
};

// A hosting layer that cannot be reached at all.
class unreachable_clr final : public platform::clr_hosting {
public:
    explicit unreachable_clr(HRESULT failure) : failure_(failure) {}
    HANDLE current_process() override { return ::GetCurrentProcess(); }
    HRESULT create_meta_host(ICLRMetaHost** meta_host) override {
        *meta_host = nullptr;
        return failure_;
    }
    platform::unique_module hold_hosting_layer() override { return {}; }

private:
    HRESULT failure_;
};

}  // namespace kestrum::testing
