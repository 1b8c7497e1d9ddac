#pragma once

#include "logging/gated_logger.h"
#include "logging/record_sink.h"
#include "platform/unique_resource.h"

#include <chrono>
#include <memory>
#include <string>

namespace kestrum::logging {

inline constexpr char file_pattern[] = "[%Y-%m-%d %H:%M:%S.%e %z][%l] %v";

struct run_log {
    platform::unique_handle file;          // the log file, open for appending; outlives the logger
    platform::unique_handle output;        // this run's own copy of standard output; outlives the logger
    handoff::publisher publish;            // where the worker publishes what it wrote; nowhere in other runs
    std::unique_ptr<gated_logger> logger;  // null when the log could not be opened
    std::string failure;                   // then: what went wrong, naming the file or folder
};

struct claimed_log_file {
    platform::unique_handle file;  // open for appending and reading; empty when it could not be created
    std::string path;              // the file created, or what could not be created
    std::string failure;           // when nothing was created: what went wrong
};

// The log file for a run started at |started|, created but not yet written.
claimed_log_file claim_run_log_file(std::chrono::system_clock::time_point started);

// The run's one logger: coloured records on standard output and timestamped
// records in a new log file named from |started|. Each record is written to
// the file as soon as it is formatted, so a crash in the add-in loses none.
run_log open_run_log(std::chrono::system_clock::time_point started);

// The same logger over a log file that is already open for appending; in the
// worker, publishing through |publish| what it writes, through |write|.
run_log open_run_log_on(platform::unique_handle file, handoff::publisher publish = {}, log_writer write = write_whole);

}  // namespace kestrum::logging
