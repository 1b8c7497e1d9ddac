#include "logging/log_file.h"

#include "platform/text_encoding.h"

#include <fmt/format.h>

namespace kestrum::logging {
namespace {

// Far more runs in one second than anyone starts by hand; past it something
// else is wrong and the run should say so rather than search on.
constexpr int last_sequence = 10000;

DWORD make_log_directory() {
    const std::wstring directory = platform::to_utf16(log_directory);
    if (::CreateDirectoryW(directory.c_str(), nullptr)) {
        return ERROR_SUCCESS;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS) {
        return error;
    }
    const DWORD attributes = ::GetFileAttributesW(directory.c_str());
    // A file of that name is in the way: the log file's own error would only
    // say its path was not found.
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_DIRECTORY
                                                                                             : ERROR_SUCCESS;
}

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
    log_file_claim claim;
    if (const DWORD folder_error = make_log_directory(); folder_error != ERROR_SUCCESS) {
        claim.path = log_directory;
        claim.error = folder_error;
        return claim;
    }

    for (int sequence = 1; sequence <= last_sequence; ++sequence) {
        claim.path = log_file_path(seconds, sequence);
        // Appending only: every record, and a crash report written through
        // this same handle, lands at the end whoever writes it. Read sharing
        // lets a support engineer watch the log grow; no delete sharing means
        // nobody, the add-in included, can delete or rename it while it is open.
        claim.file.reset(::CreateFileW(platform::to_utf16(claim.path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                       FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (claim.file) {
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
