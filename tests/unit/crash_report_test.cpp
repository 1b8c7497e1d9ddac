#include "crash/crash_report.h"
#include "logging/run_logger.h"
#include "platform/text_encoding.h"

#include <spdlog/sinks/base_sink.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>

namespace kestrum::crash {
namespace {

// A sink that faults while it holds its lock, as a sink would whose write
// meets a heap the add-in has corrupted.
class faulting_sink final : public spdlog::sinks::base_sink<std::mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg&) override {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    void flush_() override {}
};

DWORD WINAPI log_through_the_faulting_sink(void* log) {
    static_cast<spdlog::logger*>(log)->info("A record the faulting sink never finishes.");
    return 0;
}

std::vector<std::string> file_records(const std::filesystem::path& folder) {
    std::vector<std::string> records;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "PexloKestrumLogs")) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        std::string text = bytes.str();
        for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            records.push_back(text.substr(start, end - start));
        }
    }
    return records;
}

TEST(CrashReportDeathTest, ASinkFaultingWhileHoldingItsLockStillEndsTheRunWithBothRecordsInTheFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "kestrum-crash-report-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto started = std::chrono::steady_clock::now();

    EXPECT_EXIT(
        {
            std::filesystem::current_path(folder);
            logging::run_log log = logging::open_run_log(std::chrono::system_clock::now());
            log.logger->sinks().push_back(std::make_shared<faulting_sink>());
            const crash_report_guard guard(*log.logger, log.file.get(), log.output.get());
            // On a thread of its own, as in an add-in, and outside anything
            // the test framework wraps around a test.
            ::WaitForSingleObject(::CreateThread(nullptr, 0, log_through_the_faulting_sink, log.logger.get(), 0,
                                                 nullptr),
                                  INFINITE);
        },
        ::testing::ExitedWithCode(static_cast<int>(0xC0000005)), "");

    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    const std::vector<std::string> records = file_records(folder);
    ASSERT_EQ(records.size(), 3u);
    const std::regex timestamp(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} [+-]\d\d:\d\d\])");
    for (const std::string& record : records) {
        EXPECT_TRUE(std::regex_search(record, timestamp)) << record;
    }
    EXPECT_NE(records[0].find("][info] A record the faulting sink never finishes."), std::string::npos);
    // The fault is in this program's own code (the sink): the one case where it names itself.
    const std::string address_digits = std::to_string(2 * sizeof(void*));
    EXPECT_TRUE(std::regex_search(records[1], std::regex(R"(\]\[error\] The process crashed: exception 0xC0000005 \(access violation\) )"
                                                         R"(at 0x[0-9A-F]{)" + address_digits +
                                                         R"(} in .*kestrum_unit_tests\.exe\.$)")))
        << records[1];
    EXPECT_NE(records[2].find("][error] An error occurred. HRESULT=0xC0000005"), std::string::npos) << records[2];
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kestrum::crash
