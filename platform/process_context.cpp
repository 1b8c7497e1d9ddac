#include "platform/process_context.h"

#include "platform/module_name.h"
#include "platform/unique_resource.h"

#include <array>

namespace kestrum::platform {
namespace {

// A folder name from one of the calls that fill a buffer and return the
// characters written (or, when it is too small, the size needed).
template <typename Call>
std::wstring folder_from(Call call) {
    std::array<wchar_t, MAX_PATH + 1> buffer{};
    const UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0) {
        return {};
    }
    if (length < buffer.size()) {
        return std::wstring(buffer.data(), length);
    }
    std::wstring longer(length, L'\0');
    const UINT written = call(longer.data(), length);
    longer.resize(written < length ? written : 0);
    return longer;
}

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
                folder_from([](wchar_t* buffer, UINT size) { return ::GetSystemWow64DirectoryW(buffer, size); });
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
        std::wstring value(MAX_PATH, L'\0');
        // The variable may change between asking its size and reading it.
        constexpr int read_rounds = 4;
        for (int round = 0; round < read_rounds; ++round) {
            const DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
            if (length < value.size()) {
                value.resize(length);
                return value;
            }
            // Too small: |length| counts the terminating null.
            value.assign(length, L'\0');
        }
        return {};
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
                return folder_from([](wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); });
            case process_folder::working:
                return folder_from(
                    [](wchar_t* buffer, UINT size) { return static_cast<UINT>(::GetCurrentDirectoryW(size, buffer)); });
            case process_folder::system_named:
                break;
        }
        return folder_from([](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); });
    }
};

}  // namespace

process_context& system_process_context() {
    static kernel32_process_context instance;
    return instance;
}

}  // namespace kestrum::platform
