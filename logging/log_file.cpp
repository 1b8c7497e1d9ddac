#include "logging/log_file.h"

#include "platform/text_encoding.h"

#include <fmt/format.h>

namespace kestrum::logging {
namespace {

// Far more runs in one second than anyone starts by hand; past it something
// else is wrong and the run should say so rather than search on.
constexpr int last_sequence = 10000;

}  // namespace

std::int64_t unix_seconds(std::chrono::system_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

std::string log_file_path(std::int64_t seconds, int sequence) {
    if (sequence <= 1) {
        return fmt::format("PexloKestrumLogs/kestrum_{}.log", seconds);
    }
    return fmt::format("PexloKestrumLogs/kestrum_{}_{}.log", seconds, sequence);
}

log_file_claim claim_log_file(std::int64_t seconds) {
    // An existing directory is the usual case; any other problem shows up as
    // the file's own creation error below, which names the file.
    ::CreateDirectoryW(platform::to_utf16(log_directory).c_str(), nullptr);

    log_file_claim claim;
    for (int sequence = 1; sequence <= last_sequence; ++sequence) {
        claim.path = log_file_path(seconds, sequence);
        const HANDLE file = ::CreateFileW(platform::to_utf16(claim.path).c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            claim.error = ERROR_SUCCESS;
            return claim;
        }
        claim.error = ::GetLastError();
        if (claim.error != ERROR_FILE_EXISTS && claim.error != ERROR_ALREADY_EXISTS) {
            return claim;
        }
    }
    return claim;
}

}  // namespace kestrum::logging
