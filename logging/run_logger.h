#pragma once

#include <spdlog/logger.h>

#include <chrono>
#include <memory>
#include <string>

namespace kestrum::logging {

inline constexpr char console_pattern[] = "[%^%l%$] %v";
inline constexpr char file_pattern[] = "[%Y-%m-%d %H:%M:%S.%e %z][%l] %v";

struct run_log {
    std::unique_ptr<spdlog::logger> logger;  // null when the log could not be opened
    std::string failure;                     // then: what went wrong, naming the file
};

// The run's one logger: coloured records on standard output and timestamped
// records in a new log file named from |started|. Every record is flushed to
// the file as it is written, so a crash in the add-in loses none of them.
run_log open_run_log(std::chrono::system_clock::time_point started);

}  // namespace kestrum::logging
