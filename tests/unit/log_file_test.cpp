#include "logging/file_record_formatter.h"
#include "logging/log_file.h"
#include "logging/log_location.h"
#include "logging/run_logger.h"

#include <spdlog/pattern_formatter.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>

namespace kestrum::logging {
namespace {

TEST(LogFileName, FirstRunOfASecondKeepsTheTemplateNameLaterOnesAreNumbered) {
    EXPECT_EQ(log_file_path(1765200000, 1), "PexloKestrumLogs/kestrum_1765200000.log");
    EXPECT_EQ(log_file_path(1765200000, 2), "PexloKestrumLogs/kestrum_1765200000_2.log");
    EXPECT_EQ(log_file_path(7, 12), "PexloKestrumLogs/kestrum_7_12.log");
}

TEST(LogLocation, IsThePathWithoutTheLongPathPrefix) {
    EXPECT_EQ(without_long_path_prefix(L"\\\\?\\C:\\Windows\\SysWOW64\\a.log"), L"C:\\Windows\\SysWOW64\\a.log");
    EXPECT_EQ(without_long_path_prefix(L"\\\\?\\UNC\\server\\share\\a.log"), L"\\\\server\\share\\a.log");
    EXPECT_EQ(without_long_path_prefix(L"Z:\\a.log"), L"Z:\\a.log");
}

TEST(LogFileName, SecondsAreTruncatedNotRounded) {
    using std::chrono::system_clock;
    const auto instant = system_clock::time_point(std::chrono::seconds(1765200000)) +
                         std::chrono::duration_cast<system_clock::duration>(std::chrono::milliseconds(999));
    EXPECT_EQ(unix_seconds(instant), 1765200000);
}

std::string formatted(const char* pattern, spdlog::level::level_enum level, const char* text) {
    spdlog::pattern_formatter formatter(pattern);
    spdlog::details::log_msg message("log", level, text);
    spdlog::memory_buf_t out;
    formatter.format(message, out);
    return std::string(out.data(), out.size());
}

TEST(RecordLayout, ConsoleRecordIsTheBracketedLevelABlankAndTheMessage) {
    EXPECT_EQ(formatted(console_pattern, spdlog::level::info, "Done."), "[info] Done.\r\n");
    EXPECT_EQ(formatted(console_pattern, spdlog::level::err, "x"), "[error] x\r\n");
    EXPECT_EQ(formatted(console_pattern, spdlog::level::info, ""), "[info] \r\n");
}

TEST(RecordLayout, FileRecordCarriesDateTimeMillisecondsAndOffset) {
    const std::string record = formatted(file_pattern, spdlog::level::info, "");
    ASSERT_EQ(record.size(), std::string("[2026-12-08 17:45:16.123 +00:00][info] \r\n").size()) << record;
    EXPECT_EQ(record.substr(record.size() - 10), "][info] \r\n");
    EXPECT_EQ(record[0], '[');
    EXPECT_EQ(record[20], '.');
    EXPECT_TRUE(record[24] == ' ' && (record[25] == '+' || record[25] == '-') && record[28] == ':') << record;
}

TEST(RecordLayout, FileRecordsAreThePatternsOwnBytesWithinASecondAndAcrossSeconds) {
    spdlog::pattern_formatter pattern(file_pattern);
    file_record_formatter fast;
    const auto second = spdlog::log_clock::time_point(std::chrono::seconds(1796850000));
    for (const auto& [after, level, text] : {std::tuple{5, spdlog::level::info, "Pexlo Kestrum v1"},
                                             {5, spdlog::level::info, ""},
                                             {999, spdlog::level::err, "x"},
                                             {1042, spdlog::level::info, "Done."},
                                             {1043, spdlog::level::info, "  a"}}) {
        const spdlog::details::log_msg message(second + std::chrono::milliseconds(after), {}, "log", level, text);
        spdlog::memory_buf_t expected;
        spdlog::memory_buf_t written;
        pattern.format(message, expected);
        fast.format(message, written);
        EXPECT_EQ(std::string(written.data(), written.size()), std::string(expected.data(), expected.size()));
        EXPECT_EQ(console_part({written.data(), written.size()}), formatted(console_pattern, level, text));
    }
}

}  // namespace
}  // namespace kestrum::logging
