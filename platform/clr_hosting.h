#pragma once

// The entry into the .NET Framework hosting layer, behind an interface so
// that tests can stand in for it.

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
};

// CLRCreateInstance from the system directory's mscoree.dll.
clr_hosting& system_clr_hosting();

}  // namespace kestrum::platform
