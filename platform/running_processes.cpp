#include "platform/running_processes.h"

#include "platform/unique_resource.h"

#include <tlhelp32.h>

namespace kestrum::platform {
namespace {

// Far more processes than a session runs: a list that never ends is not read on.
constexpr int max_processes = 65536;

class toolhelp_running_processes final : public running_processes {
public:
    std::optional<DWORD> find_in_this_session(const wchar_t* image_name) override {
        DWORD own_session = 0;
        if (::ProcessIdToSessionId(::GetCurrentProcessId(), &own_session) == FALSE) {
            return std::nullopt;
        }
        const unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) {
            return std::nullopt;
        }
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        BOOL more = ::Process32FirstW(snapshot.get(), &entry);
        for (int seen = 0; more != FALSE && seen < max_processes; ++seen) {
            // The name is cut to the buffer by the system; terminate it all the same.
            entry.szExeFile[MAX_PATH - 1] = L'\0';
            DWORD session = 0;
            if (::CompareStringOrdinal(entry.szExeFile, -1, image_name, -1, TRUE) == CSTR_EQUAL &&
                ::ProcessIdToSessionId(entry.th32ProcessID, &session) != FALSE && session == own_session) {
                return entry.th32ProcessID;
            }
            more = ::Process32NextW(snapshot.get(), &entry);
        }
        return std::nullopt;
    }
};

}  // namespace

running_processes& system_running_processes() {
    static toolhelp_running_processes processes;
    return processes;
}

}  // namespace kestrum::platform
