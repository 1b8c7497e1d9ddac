#pragma once

#include "platform/unique_resource.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace kestrum::logging {

inline constexpr char log_directory[] = "PexloKestrumLogs";

// Whole seconds since the Unix epoch, truncated, as the log file name shows them.
std::int64_t unix_seconds(std::chrono::system_clock::time_point time);

// "PexloKestrumLogs/kestrum_<seconds>.log" for the first claim of a second,
// "PexloKestrumLogs/kestrum_<seconds>_<sequence>.log" for later ones.
std::string log_file_path(std::int64_t seconds, int sequence);

struct log_file_claim {
    platform::unique_handle file;  // open for appending and reading when the claim succeeded
    std::string path;              // the file created, or what could not be created
    DWORD error = ERROR_SUCCESS;

    bool succeeded() const noexcept { return error == ERROR_SUCCESS; }
};

// Creates a new, empty log file for a run started at |seconds| and keeps it
// open for appending. The file is created exclusively, so runs started in the
// same second never empty or share each other's logs: a later run takes the
// next free sequence number. When the folder itself cannot be made, the claim
// names the folder and its own error.
log_file_claim claim_log_file(std::int64_t seconds);

}  // namespace kestrum::logging
