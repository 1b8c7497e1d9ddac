#include "watch/run_ending.h"

#include "logging/status_code.h"
#include "logging/verdict_record.h"

#include <fmt/format.h>

namespace kestrum::watch {
namespace {

constexpr std::string_view record_end = "\r\n";
constexpr std::string_view crash_record_start = "[error] The process crashed: ";
// The failure bit of a status code.
constexpr DWORD failure_bit = 0x80000000;
constexpr DWORD ended_unexpectedly = 0x800704D5;  // HRESULT_FROM_WIN32(ERROR_PROCESS_ABORTED)
constexpr char forged_verdict[] = "The log holds a verdict that kestrum did not write: the add-in wrote into the log.";

// A file record without its timestamp: what follows the first "]". Records
// hold platform text only escaped, so no line break within one can forge
// the start of another.
std::string_view without_timestamp(std::string_view record) {
    const std::size_t stamp_end = record.find(']');
    return stamp_end == std::string_view::npos ? std::string_view() : record.substr(stamp_end + 1);
}

// The verdict's code when |record|, "[level] message", is one: 0 for "Done.".
bool read_verdict(std::string_view record, DWORD& code) {
    const std::size_t level_end = record.find("] ");
    if (!record.starts_with('[') || level_end == std::string_view::npos) {
        return false;
    }
    const std::optional<std::uint32_t> verdict =
        logging::verdict_code_of(record.substr(1, level_end - 1), record.substr(level_end + 2));
    code = verdict.value_or(0);
    return verdict.has_value();
}

}  // namespace

log_ending read_log_ending(std::string_view tail) {
    log_ending ending;
    if (tail.empty()) {
        return ending;
    }
    if (!tail.ends_with(record_end)) {
        ending.ends_mid_record = true;
        return ending;
    }
    std::string_view records = tail.substr(0, tail.size() - record_end.size());
    const std::size_t last_start = records.rfind(record_end);
    const std::string_view last = last_start == std::string_view::npos ? records : records.substr(last_start + 2);
    ending.verdict_written = read_verdict(without_timestamp(last), ending.verdict_code);
    if (ending.verdict_written && last_start != std::string_view::npos) {
        records = records.substr(0, last_start);
        const std::size_t previous_start = records.rfind(record_end);
        const std::string_view previous =
            previous_start == std::string_view::npos ? records : records.substr(previous_start + 2);
        ending.crash_reported = without_timestamp(previous).starts_with(crash_record_start);
    }
    return ending;
}

std::string_view step_of_run(const published_progress& published) {
    switch (published.step) {
        case handoff::run_step::creating_addin:
            return "creating the add-in";
        case handoff::run_step::listing_modules:
            return "listing the modules";
        case handoff::run_step::listing_assemblies:
            return "listing the .NET assemblies or releasing the add-in";
        case handoff::run_step::writing_reports:
            return "writing the reports after the checks";
    }
    // The section is the add-in's to write over too.
    return "a step it did not name";
}

}  // namespace kestrum::watch

namespace kestrum::watch {

bool worker_reached_verdict(const published_progress& published, std::uint64_t log_size, const log_ending& ending) {
    return published.verdict_taken() ||
           (published.verdict_record != 0 && published.log_pending_bytes != 0 && ending.verdict_written &&
            log_size == published.log_bytes + published.log_pending_bytes);
}

run_ending_decision decide_run_ending(const published_progress& published, std::uint64_t log_size,
                                      const log_ending& ending, DWORD exit_code) {
    // Bytes past the worker's own: someone else wrote into the log. Not
    // known after a failed write, which may have left part of a record.
    const bool foreign =
        published.log_failed_error == 0 && log_size > published.log_bytes + published.log_pending_bytes;
    run_ending_decision decision;
    // A volume that filled up took part of the record it failed on; the
    // log ends with the last record written whole.
    decision.cut_log_back = published.log_failed_error != 0 && log_size > published.log_bytes;
    decision.end_log_line = ending.ends_mid_record && !decision.cut_log_back;
    if (worker_reached_verdict(published, log_size, ending)) {
        decision.exit_status = published.verdict_status;
        if (foreign) {
            // The log's last word is kestrum's again.
            if (ending.verdict_written) {
                decision.records.push_back({true, forged_verdict});
            }
            decision.records.push_back(
                published.verdict_code == 0
                    ? watcher_record{false, "Done."}
                    : watcher_record{true, fmt::format(logging::error_verdict_format, published.verdict_code)});
        } else {
            decision.end_log_line = false;
        }
        return decision;
    }
    if (ending.verdict_written) {
        decision.records.push_back({true, forged_verdict});
    }
    const DWORD verdict_code = (exit_code & failure_bit) != 0 ? exit_code : ended_unexpectedly;
    decision.exit_status = exit_code != 0 ? exit_code : verdict_code;
    decision.ended_before_verdict = true;
    decision.verdict_code = verdict_code;
    return decision;
}

}  // namespace kestrum::watch
