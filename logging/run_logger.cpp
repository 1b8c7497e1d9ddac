#include "logging/run_logger.h"

#include "logging/record_sink.h"
#include "logging/log_file.h"
#include "platform/system_error.h"
#include "platform/text_encoding.h"

#include <spdlog/common.h>

namespace kestrum::logging {
namespace {

std::string creation_failure(const std::string& path, const std::string& reason) {
    const bool folder = path == log_directory;
    return std::string("kestrum: cannot create the log ") + (folder ? "folder " : "file ") + path + ": " + reason;
}

// The add-in shares this process and may close the standard output handle it
// inherited, then open a file of its own that is given the same value: every
// later record would land in the add-in's file. A copy taken now is ours alone.
platform::unique_handle own_copy_of_standard_output() {
    const HANDLE inherited = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE copy = nullptr;
    if (inherited == nullptr || inherited == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), inherited, ::GetCurrentProcess(), &copy, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    return platform::unique_handle(copy);
}

std::unique_ptr<gated_logger> make_logger(HANDLE file, HANDLE output, handoff::publisher publish, log_writer write) {
    // Where there is no standard output to copy, the sink finds nothing to
    // write to, as it would with the inherited one.
    auto sink = std::make_shared<record_sink>(file, output != nullptr ? output : ::GetStdHandle(STD_OUTPUT_HANDLE),
                                              publish, write);
    sink->set_level(spdlog::level::info);
    return std::make_unique<gated_logger>("log", spdlog::sinks_init_list{sink});
}

}  // namespace

claimed_log_file claim_run_log_file(std::chrono::system_clock::time_point started) {
    log_file_claim claim = claim_log_file(unix_seconds(started));
    if (!claim.succeeded()) {
        return {{}, claim.path, creation_failure(claim.path, platform::system_error_text(claim.error))};
    }
    return {std::move(claim.file), claim.path, {}};
}

run_log open_run_log(std::chrono::system_clock::time_point started) {
    claimed_log_file claim = claim_run_log_file(started);
    if (!claim.file) {
        return {{}, {}, {}, nullptr, std::move(claim.failure)};
    }
    try {
        return open_run_log_on(std::move(claim.file));
    } catch (const std::exception& error) {
        // Nothing was written, and the file went with the failed logger:
        // leave no empty log behind.
        ::DeleteFileW(platform::to_utf16(claim.path).c_str());
        return {{}, {}, {}, nullptr, creation_failure(claim.path, error.what())};
    }
}

run_log open_run_log_on(platform::unique_handle file, handoff::publisher publish, log_writer write) {
    run_log log;
    log.file = std::move(file);
    log.output = own_copy_of_standard_output();
    log.publish = publish;
    log.logger = make_logger(log.file.get(), log.output.get(), publish, write);
    return log;
}

}  // namespace kestrum::logging
