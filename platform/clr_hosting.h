#pragma once

// The entry into the .NET Framework hosting layer, behind an interface so
// that tests can stand in for it.

#include "platform/unique_resource.h"

#include <windows.h>

struct ICLRMetaHost;

namespace kestrum::platform {

class clr_hosting {
public:
    virtual ~clr_hosting() = default;

    // GetCurrentProcess()
    virtual HANDLE current_process() = 0;
    // CLRCreateInstance(CLSID_CLRMetaHost, IID_ICLRMetaHost, meta_host)
    virtual HRESULT create_meta_host(ICLRMetaHost** meta_host) = 0;
    // One loader reference to the hosting layer, mscoree.dll, held until the
    // result goes; empty when it cannot be loaded.
    virtual unique_module hold_hosting_layer() = 0;
};

// The hosting layer is the system directory's mscoree.dll, always loaded by
// its full path.
clr_hosting& system_clr_hosting();

}  // namespace kestrum::platform
