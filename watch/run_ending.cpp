#include "watch/run_ending.h"

#include <algorithm>
#include <charconv>

namespace kestrum::watch {
namespace {

constexpr std::string_view record_end = "\r\n";
constexpr std::string_view done_record = "[info] Done.";
constexpr std::string_view error_verdict_start = "[error] An error occurred. HRESULT=0x";
constexpr std::string_view crash_record_start = "[error] The process crashed: ";
constexpr std::size_t code_digits = 8;
constexpr int hexadecimal = 16;

// A file record without its timestamp: what follows the first "]". Records
// hold platform text only escaped, so no line break within one can forge
// the start of another.
std::string_view without_timestamp(std::string_view record) {
    const std::size_t stamp_end = record.find(']');
    return stamp_end == std::string_view::npos ? std::string_view() : record.substr(stamp_end + 1);
}

bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// The verdict's code when |record| is one: 0 for "Done.".
bool read_verdict(std::string_view record, DWORD& code) {
    if (record == done_record) {
        code = 0;
        return true;
    }
    if (!record.starts_with(error_verdict_start) || record.size() != error_verdict_start.size() + code_digits) {
        return false;
    }
    const std::string_view digits = record.substr(error_verdict_start.size());
    if (!std::ranges::all_of(digits, is_upper_hex)) {
        return false;
    }
    std::from_chars(digits.data(), digits.data() + digits.size(), code, hexadecimal);
    return true;
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

std::string_view step_of_run(std::string_view log) {
    if (log.find("][info] Listing .NET assemblies loaded by Pexlo add-in:\r\n") != std::string_view::npos) {
        return "listing the .NET assemblies or releasing the add-in";
    }
    if (log.find("][info] Successfully created Pexlo PowerPoint Addin object.\r\n") != std::string_view::npos) {
        return "listing the modules";
    }
    return "creating the add-in";
}

}  // namespace kestrum::watch
