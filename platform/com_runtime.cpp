#include "platform/com_runtime.h"

#include <objbase.h>

namespace kestrum::platform {
namespace {

// The run's BSTRs and SAFEARRAYs come from oleaut32, which this program
// imports delay-loaded. It is loaded here, with COM, and kept for the whole
// run, so it is among the modules listed, as it is in every Office process,
// rather than appearing only after the listing. Its functions are bound here
// too, by a first call with no array or string, which each documents as
// harmless: GCC keeps an imported function's address in a register across a
// loop, and a function first called inside one would otherwise be looked up
// again on every later turn (seen under Wine: twice for every assembly).
void load_automation() {
    ::LoadLibraryExW(L"oleaut32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    LONG bound = 0;
    ::SafeArrayGetLBound(nullptr, 1, &bound);
    ::SafeArrayGetUBound(nullptr, 1, &bound);
    ::SafeArrayGetElement(nullptr, &bound, nullptr);
    ::SafeArrayLock(nullptr);
    ::SafeArrayUnlock(nullptr);
    ::SysFreeString(nullptr);
    ::SysStringLen(nullptr);
}

class ole32_com_runtime final : public com_runtime {
public:
    HRESULT initialize_multithreaded() override {
        const HRESULT result = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        load_automation();
        return result;
    }

    void uninitialize() override { ::CoUninitialize(); }

    HRESULT class_id_from_prog_id(const wchar_t* prog_id, CLSID* clsid) override {
        return ::CLSIDFromProgID(prog_id, clsid);
    }

    HRESULT create_inproc_instance(REFCLSID clsid, IUnknown** instance) override {
        return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(instance));
    }
};

}  // namespace

com_runtime& system_com_runtime() {
    static ole32_com_runtime runtime;
    return runtime;
}

}  // namespace kestrum::platform
