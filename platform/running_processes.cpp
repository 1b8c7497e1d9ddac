#include "platform/running_processes.h"

#include "platform/grown_buffer.h"

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
// Room for a few hundred processes at the first call; a list larger than the
// most offered is not read.
constexpr ULONG first_list_bytes = 512 * 1024;
constexpr ULONG most_list_bytes = 64 * 1024 * 1024;
constexpr NTSTATUS info_length_mismatch = static_cast<NTSTATUS>(0xC0000004L);  // STATUS_INFO_LENGTH_MISMATCH

// The list CreateToolhelp32Snapshot copies its entries from, read in one
// call: the snapshot costs a section of its own and, under Wine, a view
// mapped for every entry walked, several times the list itself. The function
// has no import library; its documentation asks for GetProcAddress.
using query_system_information_function = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);

// The list, in 8-byte units so that its entries are aligned as the system
// writes them; empty when it cannot be read.
std::vector<std::uint64_t> process_list(std::size_t& bytes) {
    bytes = 0;
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto query = ntdll == nullptr ? nullptr
                                        : reinterpret_cast<query_system_information_function>(reinterpret_cast<void*>(
                                              ::GetProcAddress(ntdll, "NtQuerySystemInformation")));
    if (query == nullptr) {
        return {};
    }
    ULONG capacity = first_list_bytes;
    std::vector<std::uint64_t> list;
    // Processes start between two calls: a few rounds, each with room to spare.
    for (int round = 1; round <= read_rounds; ++round) {
        list.assign(capacity / sizeof(std::uint64_t), 0);
        ULONG returned = 0;
        const NTSTATUS status = query(SystemProcessInformation, list.data(), capacity, &returned);
        if (status >= 0) {
            bytes = returned < capacity ? returned : capacity;
            return list;
        }
        if (status != info_length_mismatch || capacity == most_list_bytes) {
            return {};
        }
        const ULONG wanted = (returned > capacity ? returned : capacity) + capacity / 2;
        capacity = wanted < most_list_bytes ? wanted : most_list_bytes;
    }
    return {};
}

class system_running_processes_list final : public running_processes {
public:
    std::optional<DWORD> find_in_this_session(const wchar_t* image_name) override {
        DWORD own_session = 0;
        if (::ProcessIdToSessionId(::GetCurrentProcessId(), &own_session) == FALSE) {
            return std::nullopt;
        }
        std::size_t bytes = 0;
        const std::vector<std::uint64_t> list = process_list(bytes);
        const std::span<const std::byte> read = std::as_bytes(std::span(list)).first(bytes);
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
