#include "logging/run_logger.h"

#include "logging/handle_file_sink.h"
#include "logging/log_file.h"
#include "platform/system_error.h"
#include "platform/text_encoding.h"

#include <spdlog/common.h>
#include <spdlog/sinks/stdout_color_sinks.h>

namespace kestrum::logging {
namespace {

std::string creation_failure(const std::string& path, const std::string& reason) {
    const bool folder = path == log_directory;
    return std::string("kestrum: cannot create the log ") + (folder ? "folder " : "file ") + path + ": " + reason;
}

}  // namespace

run_log open_run_log(std::chrono::system_clock::time_point started) {
    log_file_claim claim = claim_log_file(unix_seconds(started));
    if (!claim.succeeded()) {
        return {{}, nullptr, creation_failure(claim.path, platform::system_error_text(claim.error))};
    }

    try {
        auto console = std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic);
        console->set_level(spdlog::level::info);
        console->set_pattern(console_pattern);

        auto file = std::make_shared<handle_file_sink>(claim.file.get());
        file->set_level(spdlog::level::info);
        file->set_pattern(file_pattern);

        auto logger = std::make_unique<gated_logger>("log", spdlog::sinks_init_list{console, file});
        return {std::move(claim.file), std::move(logger), {}};
    } catch (const std::exception& error) {
        // Nothing was written: leave no empty log behind.
        claim.file.reset();
        ::DeleteFileW(platform::to_utf16(claim.path).c_str());
        return {{}, nullptr, creation_failure(claim.path, error.what())};
    }
}

}  // namespace kestrum::logging
