#include "platform/clr_hosting.h"

#include "platform/clr_interfaces.h"
#include "platform/grown_buffer.h"
#include "platform/library_function.h"

#include <string>

namespace kestrum::platform {
namespace {

HRESULT last_error_as_hresult() {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// By full path only. A bare name would be answered by any module of that name
// already in the process, or else looked for in the program's own folder
// first, where whoever can drop a file beside kestrum.exe would have it run
// with the user's rights. LOAD_LIBRARY_SEARCH_SYSTEM32 would need an update on
// Windows 7; the full path does not. LOAD_WITH_ALTERED_SEARCH_PATH makes the
// library's own imports be looked for in the system directory too, not beside
// kestrum.exe.
HMODULE load_system_mscoree() {
    std::wstring path = sized_text([](wchar_t* buffer, DWORD size) { return ::GetSystemDirectoryW(buffer, size); });
    if (path.empty()) {
        if (::GetLastError() == ERROR_SUCCESS) {
            ::SetLastError(ERROR_PATH_NOT_FOUND);
        }
        return nullptr;
    }
    path += L"\\mscoree.dll";
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

class mscoree_clr_hosting final : public clr_hosting {
public:
    HANDLE current_process() override { return ::GetCurrentProcess(); }

    HRESULT create_meta_host(ICLRMetaHost** meta_host) override {
        *meta_host = nullptr;
        // The reference is never given back: the runtime's objects live in
        // this library for the rest of the process.
        HMODULE mscoree = load_system_mscoree();
        if (!mscoree) {
            return last_error_as_hresult();
        }
        const auto create_instance = function_of<CLRCreateInstanceFunction>(mscoree, "CLRCreateInstance");
        if (!create_instance) {
            return last_error_as_hresult();
        }
        return create_instance(CLSID_CLRMetaHost, IID_ICLRMetaHost, reinterpret_cast<LPVOID*>(meta_host));
    }

    unique_module hold_hosting_layer() override { return unique_module(load_system_mscoree()); }
};

}  // namespace

clr_hosting& system_clr_hosting() {
    static mscoree_clr_hosting hosting;
    return hosting;
}

}  // namespace kestrum::platform
