#include "platform/running_processes.h"

#include "platform/grown_buffer.h"
#include "platform/library_function.h"

#include <winternl.h>

#include <cstdint>
#include <cstddef>
#include <cstring>
#include <span>
#include <vector>

namespace kestrum::platform {
namespace {

// Far more processes than a session runs: a list that never ends is not read on.
constexpr int max_processes = 65536;
// The list is read in 8-byte units, so that its entries are aligned as the
// system writes them: room for a few hundred processes at the first call, and
// a list larger than the most offered is not read.
using list_unit = std::uint64_t;
constexpr DWORD first_list_units = std::size_t{512} * 1024 / sizeof(list_unit);
constexpr DWORD most_list_units = std::size_t{64} * 1024 * 1024 / sizeof(list_unit);
constexpr NTSTATUS info_length_mismatch = static_cast<NTSTATUS>(0xC0000004L);  // STATUS_INFO_LENGTH_MISMATCH

// The list CreateToolhelp32Snapshot copies its entries from, read in one
// call: the snapshot costs a section of its own and, under Wine, a view
// mapped for every entry walked, several times the list itself. The function
// has no import library; its documentation asks for GetProcAddress.
using query_system_information_function = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);

// The list; empty when it cannot be read.
std::vector<list_unit> process_list() {
    const auto query =
        function_of<query_system_information_function>(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
    if (query == nullptr) {
        return {};
    }
    const auto units = [](ULONG bytes) {
        return static_cast<DWORD>((bytes + sizeof(list_unit) - 1) / sizeof(list_unit));
    };
    return grown<std::vector<list_unit>>(
        [&](list_unit* list, DWORD capacity) {
            const auto offered = static_cast<ULONG>(capacity * sizeof(list_unit));
            ULONG returned = 0;
            const NTSTATUS status = query(SystemProcessInformation, list, offered, &returned);
            if (status >= 0) {
                return filled{units(returned < offered ? returned : offered), 0};
            }
            // Processes start between two calls: the next one has room to spare.
            return status == info_length_mismatch
                       ? filled{0, units((returned > offered ? returned : offered) + offered / 2)}
                       : filled{};
        },
        {.first = first_list_units, .most = most_list_units});
}

class system_running_processes_list final : public running_processes {
public:
    std::optional<DWORD> find_in_this_session(const wchar_t* image_name) override {
        DWORD own_session = 0;
        if (::ProcessIdToSessionId(::GetCurrentProcessId(), &own_session) == FALSE) {
            return std::nullopt;
        }
        const std::vector<list_unit> list = process_list();
        const std::span<const std::byte> read = std::as_bytes(std::span(list));
        const auto begin = reinterpret_cast<std::uintptr_t>(read.data());
        std::size_t at = 0;
        for (int seen = 0; seen < max_processes && read.size() - at >= sizeof(SYSTEM_PROCESS_INFORMATION); ++seen) {
            SYSTEM_PROCESS_INFORMATION entry{};
            std::memcpy(&entry, read.subspan(at).data(), sizeof(entry));
            // The name lies in the list itself; one that points elsewhere is
            // not read.
            const auto name = reinterpret_cast<std::uintptr_t>(entry.ImageName.Buffer);
            const bool name_inside = name >= begin && name - begin <= read.size() && name % alignof(wchar_t) == 0 &&
                                     entry.ImageName.Length <= read.size() - (name - begin);
            if (name_inside && entry.ImageName.Length != 0 && entry.SessionId == own_session &&
                ::CompareStringOrdinal(entry.ImageName.Buffer,
                                       static_cast<int>(entry.ImageName.Length / sizeof(wchar_t)), image_name, -1,
                                       TRUE) == CSTR_EQUAL) {
                return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(entry.UniqueProcessId));
            }
            if (entry.NextEntryOffset == 0 || entry.NextEntryOffset > read.size() - at) {
                break;
            }
            at += entry.NextEntryOffset;
        }
        return std::nullopt;
    }
};

}  // namespace

running_processes& system_running_processes() {
    static system_running_processes_list processes;
    return processes;
}

}  // namespace kestrum::platform
