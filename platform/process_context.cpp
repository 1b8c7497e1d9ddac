#include "platform/process_context.h"

#include "platform/grown_buffer.h"
#include "platform/module_name.h"
#include "platform/unique_resource.h"

namespace kestrum::platform {
namespace {

class kernel32_process_context final : public process_context {
public:
    DWORD expand_environment_strings(const wchar_t* source, wchar_t* expanded, DWORD size_chars) override {
        return ::ExpandEnvironmentStringsW(source, expanded, size_chars);
    }

    std::wstring system_folder(registry_view view) override {
        if (view == registry_view::bits32) {
            // On 64-bit Windows the 32-bit system files are in SysWOW64, also
            // for a 32-bit process, which names it System32 as well.
            std::wstring wow64 =
                sized_text([](wchar_t* buffer, DWORD size) { return ::GetSystemWow64DirectoryW(buffer, size); });
            if (wow64.empty() && view == this_edition_view()) {
                return folder(process_folder::system_named);  // 32-bit Windows
            }
            return wow64;
        }
        if (view == this_edition_view()) {
            return folder(process_folder::system_named);
        }
        // A 32-bit process asking for System32 is sent to the 32-bit folder;
        // "Sysnative" is the name that reaches the 64-bit one.
        std::wstring windows = folder(process_folder::windows);
        return windows.empty() ? windows : windows + L"\\Sysnative";
    }

    bool process_is_elevated() override {
        HANDLE opened = nullptr;
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened) == FALSE) {
            return false;
        }
        const unique_handle token(opened);
        TOKEN_ELEVATION elevation{};
        DWORD returned = 0;
        return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &returned) != FALSE &&
               elevation.TokenIsElevated != 0;
    }

    std::wstring environment_variable(const wchar_t* name) override {
        return sized_text(
            [name](wchar_t* buffer, DWORD size) { return ::GetEnvironmentVariableW(name, buffer, size); });
    }

    std::wstring folder(process_folder which) override {
        switch (which) {
            case process_folder::program: {
                std::wstring path = read_whole_module_name(
                    [](wchar_t* buffer, DWORD capacity) { return ::GetModuleFileNameW(nullptr, buffer, capacity); });
                const std::size_t name_at = path.find_last_of(L"\\/");
                if (name_at == std::wstring::npos) {
                    return {};
                }
                // "C:\kestrum.exe" is in "C:\", not in "C:".
                path.resize(name_at > 0 && path[name_at - 1] == L':' ? name_at + 1 : name_at);
                return path;
            }
            case process_folder::windows:
                return sized_text([](wchar_t* buffer, DWORD size) { return ::GetWindowsDirectoryW(buffer, size); });
            case process_folder::working:
                return sized_text([](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); });
            case process_folder::system_named:
                break;
        }
        return sized_text([](wchar_t* buffer, DWORD size) { return ::GetSystemDirectoryW(buffer, size); });
    }
};

}  // namespace

process_context& system_process_context() {
    static kernel32_process_context instance;
    return instance;
}

}  // namespace kestrum::platform
