#include "platform/clr_hosting.h"

#include "platform/clr_interfaces.h"

namespace kestrum::platform {
namespace {

HRESULT last_error_as_hresult() {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

class mscoree_clr_hosting final : public clr_hosting {
public:
    HANDLE current_process() override { return ::GetCurrentProcess(); }

    HRESULT create_meta_host(ICLRMetaHost** meta_host) override {
        *meta_host = nullptr;
        // Only the system directory: a planted mscoree.dll in the working or
        // program folder would otherwise run with the user's rights. The
        // library stays loaded for the life of the process, as the runtime's
        // objects live in it.
        HMODULE mscoree = ::LoadLibraryExW(L"mscoree.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!mscoree) {
            return last_error_as_hresult();
        }
        const auto create_instance = reinterpret_cast<CLRCreateInstanceFunction>(
            reinterpret_cast<void*>(::GetProcAddress(mscoree, "CLRCreateInstance")));
        if (!create_instance) {
            return last_error_as_hresult();
        }
        return create_instance(CLSID_CLRMetaHost, IID_ICLRMetaHost, reinterpret_cast<LPVOID*>(meta_host));
    }
};

}  // namespace

clr_hosting& system_clr_hosting() {
    static mscoree_clr_hosting hosting;
    return hosting;
}

}  // namespace kestrum::platform
