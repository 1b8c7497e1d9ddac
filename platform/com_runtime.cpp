#include "platform/com_runtime.h"

#include <objbase.h>

namespace kestrum::platform {
namespace {

class ole32_com_runtime final : public com_runtime {
public:
    HRESULT initialize_multithreaded() override { return ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); }

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
