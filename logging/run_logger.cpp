#include "logging/run_logger.h"

#include "logging/log_file.h"
#include "platform/system_error.h"

#include <spdlog/common.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

namespace kestrum::logging {
namespace {

std::string creation_failure(const std::string& path, const std::string& reason) {
    return "kestrum: cannot create the log file " + path + ": " + reason;
}

}  // namespace

run_log open_run_log(std::chrono::system_clock::time_point started) {
    const log_file_claim claim = claim_log_file(unix_seconds(started));
    if (!claim.succeeded()) {
        return {nullptr, creation_failure(claim.path, platform::system_error_text(claim.error))};
    }

    try {
        auto console = std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic);
        console->set_level(spdlog::level::info);
        console->set_pattern(console_pattern);

        // The file was created empty a moment ago and is ours: append to it.
        auto file = std::make_shared<spdlog::sinks::basic_file_sink_mt>(claim.path, false);
        file->set_level(spdlog::level::info);
        file->set_pattern(file_pattern);

        auto logger = std::make_unique<spdlog::logger>("log", spdlog::sinks_init_list{console, file});
        logger->flush_on(spdlog::level::trace);
        return {std::move(logger), {}};
    } catch (const spdlog::spdlog_ex& error) {
        return {nullptr, creation_failure(claim.path, error.what())};
    }
}

}  // namespace kestrum::logging
