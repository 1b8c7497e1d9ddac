#pragma once

// The COM runtime calls the activation check makes, behind an interface so
// that tests can stand in for them.

#include <windows.h>
#include <unknwn.h>

namespace kestrum::platform {

class com_runtime {
public:
    virtual ~com_runtime() = default;

    // CoInitializeEx(nullptr, COINIT_MULTITHREADED)
    virtual HRESULT initialize_multithreaded() = 0;
    // CoUninitialize()
    virtual void uninitialize() = 0;
    // CLSIDFromProgID(prog_id, clsid)
    virtual HRESULT class_id_from_prog_id(const wchar_t* prog_id, CLSID* clsid) = 0;
    // CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, instance)
    virtual HRESULT create_inproc_instance(REFCLSID clsid, IUnknown** instance) = 0;
};

// The real COM runtime of ole32.
com_runtime& system_com_runtime();

}  // namespace kestrum::platform
