#include "platform/com_runtime.h"

#include <objbase.h>

namespace kestrum::platform {
namespace {

class ole32_com_runtime final : public com_runtime {
public:
    HRESULT initialize_multithreaded() override {
        const HRESULT result = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        // The run's BSTRs and SAFEARRAYs come from oleaut32, which this
        // program imports delay-loaded. Loaded here, with COM, and kept for
        // the whole run, it is among the modules listed, as it is in every
        // Office process, rather than appearing only after the listing.
        ::LoadLibraryExW(L"oleaut32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
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
