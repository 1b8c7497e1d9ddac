#include "app/verdict.h"
#include "handoff/publisher.h"
#include "logging/record_layout.h"
#include "logging/record_sink.h"
#include "tests/unit/recording_log.h"
#include "watch/progress_watch.h"
#include "watch/console_interrupt.h"
#include "watch/log_keeper.h"
#include "watch/run_ending.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrum::watch {
namespace {

constexpr char stamp[] = "[2026-12-09 08:14:33.754 +01:00]";

std::string record(const std::string& level_and_message) { return stamp + level_and_message + "\r\n"; }

struct ending_case {
    const char* name;
    std::string tail;
    bool verdict_written;
    bool crash_reported;
    DWORD verdict_code;
    bool ends_mid_record;
};

class LogEnding : public ::testing::TestWithParam<ending_case> {};

TEST_P(LogEnding, TellsWhetherTheRunReachedItsVerdict) {
    const ending_case& expected = GetParam();
    const log_ending ending = read_log_ending(expected.tail);
    EXPECT_EQ(ending.verdict_written, expected.verdict_written);
    EXPECT_EQ(ending.crash_reported, expected.crash_reported);
    EXPECT_EQ(ending.verdict_code, expected.verdict_code);
    EXPECT_EQ(ending.ends_mid_record, expected.ends_mid_record);
}

INSTANTIATE_TEST_SUITE_P(
    Tails, LogEnding,
    ::testing::Values(
        ending_case{"done", record("[info]     Path: C:\\x.dll") + record("[info] Done."), true, false, 0, false},
        ending_case{"error_verdict", record("[info] ") + record("[error] An error occurred. HRESULT=0x80131515"),
                    true, false, 0x80131515, false},
        ending_case{"crash_report",
                    record("[error] The process crashed: exception 0xC0000005 at 0x0000000000401000 in C:\\a.dll.") +
                        record("[error] An error occurred. HRESULT=0xC0000005"),
                    true, true, 0xC0000005, false},
        ending_case{"only_the_banner", record("[info] Pexlo Kestrum v1") + record("[info] "), false, false, 0, false},
        ending_case{"cut_inside_a_record", record("[info] Listing all modules in process:") + stamp + "[info]   C:",
                    false, false, 0, true},
        ending_case{"verdict_text_inside_a_record", record("[info]   Name [info] Done."), false, false, 0, false},
        ending_case{"short_code", record("[error] An error occurred. HRESULT=0x8013151"), false, false, 0, false},
        ending_case{"lower_case_code", record("[error] An error occurred. HRESULT=0x80131a15"), false, false, 0,
                    false},
        ending_case{"empty", "", false, false, 0, false}),
    [](const ::testing::TestParamInfo<ending_case>& tail) { return std::string(tail.param.name); });

TEST(LogDamage, IsFoundAtTheRecordWhereTheLogStopsHoldingWhatWasRead) {
    const std::string kept = record("[info] Pexlo Kestrum v1") + record("[info] ");
    const std::string crash = "[2026-12-09 08:14:34.001 +01:00][error] The process crashed";
    EXPECT_EQ(start_of_damage(kept, kept + crash), std::nullopt);
    EXPECT_EQ(start_of_damage(kept, kept.substr(0, 10)), 10U) << "cut short: the rest is put back";
    EXPECT_EQ(start_of_damage(kept, crash), 0U) << "emptied, then written again with the same date";
    EXPECT_EQ(start_of_damage(kept, record("[info] Pexlo Kestrum v1") + crash), kept.size() - record("[info] ").size());
}

TEST(ConsoleInterrupt, TheFirstEventThatInterruptsIsTheOneReported) {
    EXPECT_FALSE(note_console_event(CTRL_LOGOFF_EVENT));
    EXPECT_EQ(console_interrupt_received(), console_interrupt::none);
    EXPECT_TRUE(note_console_event(CTRL_CLOSE_EVENT));
    EXPECT_TRUE(note_console_event(CTRL_C_EVENT));
    EXPECT_EQ(console_interrupt_received(), console_interrupt::window_closed);
    EXPECT_EQ(interrupted_run_records(console_interrupt::window_closed),
              (std::vector<std::string>{"The run was interrupted (the console window was closed) before its verdict.",
                                        "An error occurred. HRESULT=0x800704C7"}));
    EXPECT_EQ(interrupted_run_records(console_interrupt::ctrl_break)[0],
              "The run was interrupted (Ctrl+Break) before its verdict.");
}

// The step is named from what the driver published, never from a record's
// text: there is no log to reword.
TEST(RunStep, IsNamedByTheStepTheWorkerPublished) {
    using enum handoff::run_step;
    const std::pair<handoff::run_step, std::string_view> names[] = {
        {creating_addin, "creating the add-in"},
        {listing_modules, "listing the modules"},
        {listing_assemblies, "listing the .NET assemblies or releasing the add-in"},
        {writing_reports, "writing the reports after the checks"},
        {static_cast<handoff::run_step>(7), "a step it did not name"}};
    for (const auto& [step, name] : names) {
        handoff::run_progress progress{};
        handoff::publisher(&progress).step(step);
        EXPECT_EQ(step_of_run(handoff::read_published(progress)), name);
    }
}

const std::uint64_t two_records = 2 * logging::record_size("info", "one");
bool writes_two_records(HANDLE, std::string_view, DWORD& error) {
    static int written = 0;
    error = ERROR_DISK_FULL;
    return ++written % 3 != 0;
}

struct fact_case {
    const char* name;
    void (*write)(handoff::publisher publish);
    published_progress published;
    bool verdict_given;
};

class PublishedFact : public ::testing::TestWithParam<fact_case> {};

TEST_P(PublishedFact, IsSetByItsWriterAndReadByTheWatcher) {
    handoff::run_progress progress{};
    GetParam().write(handoff::publisher(&progress));
    EXPECT_EQ(handoff::read_published(progress), GetParam().published);
    EXPECT_EQ(handoff::publisher(&progress).verdict_given(), GetParam().verdict_given);
}

// Three records through the log sink, the third of which fails to be written.
void log_three(handoff::publisher publish) {
    auto sink = std::make_shared<logging::record_sink>(nullptr, nullptr, publish, writes_two_records);
    spdlog::logger log("log", sink);
    for (const char* message : {"one", "two", "three"}) {
        log.info(message);
    }
}

void error_verdict(handoff::publisher publish) {
    log_three(publish);
    testing::recording_log log;
    checks::run_status status;
    status.record(static_cast<HRESULT>(0x80131515));
    app::write_verdict(log.logger(), status, publish);
}

using handoff::publisher;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Writers, PublishedFact, ::testing::Values(
    fact_case{"log_sink", log_three, {.log_records = 3, .log_bytes = two_records, .log_failed_after = 2, .log_failed_error = 112}, false},
    fact_case{"verdict", [](publisher publish) { testing::recording_log log; app::write_verdict(log.logger(), {}, publish); },
              {.verdict_record = 1}, false},
    fact_case{"error_verdict", error_verdict, {.log_records = 3, .log_bytes = two_records, .verdict_record = 4, .verdict_code = 0x80131515,
                                               .log_failed_after = 2, .log_failed_error = 112}, false},
    fact_case{"crash_with_verdict", [](publisher publish) { publish.crash(2, true, 0xC0000005); publish.log_written(0, 9, 2); },
              {.log_records = 2, .log_bytes = 9, .verdict_record = 2, .verdict_code = 0xC0000005, .verdict_status = 0xC0000005,
               .crash_record = 1}, true},
    fact_case{"verdict_on_its_way", [](publisher publish) { publish.verdict(0); publish.log_writing(7); },
              {.log_pending_bytes = 7, .verdict_record = 1}, true},
    fact_case{"crash_after_the_verdict", [](publisher publish) {
                  publish.verdict(0); publish.log_written(0, 7, 1); publish.crash(1, false, 0xC0000005); publish.log_written(0, 9, 1); },
              {.log_records = 2, .log_bytes = 16, .verdict_record = 1, .crash_record = 2}, true}),
// clang-format on
    [](const ::testing::TestParamInfo<fact_case>& fact) { return std::string(fact.param.name); });

constexpr DWORD ended_unexpectedly = 0x800704D5;
constexpr char forged[] = "The log holds a verdict that kestrum did not write: the add-in wrote into the log.";

struct decision_case {
    const char* name;
    published_progress published;
    std::uint64_t log_size;
    std::string tail;
    DWORD exit_code;
    DWORD exit_status;
    std::vector<watcher_record> records;
    bool ended_before_verdict;
    bool cut_log_back = false;
};

class RunEndingDecision : public ::testing::TestWithParam<decision_case> {};

TEST_P(RunEndingDecision, FollowsWhatTheWorkerPublishedAndTheLogHolds) {
    const decision_case& expected = GetParam();
    const run_ending_decision decision =
        decide_run_ending(expected.published, expected.log_size, read_log_ending(expected.tail), expected.exit_code);
    EXPECT_EQ(decision.exit_status, expected.exit_status);
    EXPECT_EQ(decision.records, expected.records);
    EXPECT_EQ(decision.ended_before_verdict, expected.ended_before_verdict);
    EXPECT_EQ(decision.cut_log_back, expected.cut_log_back);
    EXPECT_FALSE(expected.cut_log_back && decision.end_log_line) << "the cut takes the broken record away";
    EXPECT_EQ(decision.verdict_code, expected.ended_before_verdict ? ended_unexpectedly : 0);
}

const std::string done = record("[info] Done.");

// published: records, pending bytes, bytes, verdict record, code, status, failed after, error, console record
INSTANTIATE_TEST_SUITE_P(
    Endings, RunEndingDecision,
    ::testing::Values(
        decision_case{"exit_after_the_verdict", {10, 0, 500, 10, 0, 0, 0, 0, 0}, 500, done, 3, 0, {}, false},
        decision_case{"crash_verdict", {12, 0, 600, 12, 0xC0000005, 0xC0000005, 0, 0, 0}, 600, done, 5, 0xC0000005, {},
                      false},
        decision_case{"log_incomplete", {10, 0, 100, 10, 0, 0, 3, ERROR_DISK_FULL, 0}, 100, record("[info] "), 0, 0, {},
                      false},
        decision_case{"verdict_cut_from_the_count", {9, 20, 480, 10, 0, 0, 0, 0, 0}, 500, done, 0, 0, {}, false},
        decision_case{"forged_without_a_verdict", {3, 0, 150, 0, 0, 0, 0, 0, 0}, 200, done, 0, ended_unexpectedly,
                      {{true, forged}}, true},
        decision_case{"forged_after_the_verdict", {10, 0, 500, 10, 0, 0, 0, 0, 0}, 550, done, 0, 0,
                      {{true, forged}, {false, "Done."}}, false},
        decision_case{"ended_before_its_verdict", {5, 0, 250, 0, 0, 0, 0, 0, 0}, 250, record("[info] "), 7, 7, {},
                      true},
        decision_case{"crash_after_the_verdict", {11, 0, 600, 10, 0, 0, 0, 0, 0, {}, 11}, 600,
                      done + record("[error] The process crashed after its verdict: exception 0xC0000005"), 5, 0, {},
                      false},
        decision_case{"volume_full_mid_record", {10, 0, 100, 10, 0, 0, 3, ERROR_DISK_FULL, 0}, 130,
                      record("[info] ") + stamp + "[in", 0, 0, {}, false, true}),
    [](const ::testing::TestParamInfo<decision_case>& ending) { return std::string(ending.param.name); });

struct observation {
    std::uint64_t now_ms;
    progress_sample sample;
    progress_call_kind kind;
    std::uint64_t seconds;
};

struct progress_case {
    const char* name;
    std::vector<observation> observations;
};

class ProgressWatch : public ::testing::TestWithParam<progress_case> {};

TEST_P(ProgressWatch, EndsOnlyAWorkerThatNothingMoves) {
    progress_watch watch({5000, 5000, 25000, 2500}, 0);
    for (const observation& seen : GetParam().observations) {
        const progress_call call = watch.observe(seen.now_ms, seen.sample);
        EXPECT_EQ(call.kind, seen.kind) << "at " << seen.now_ms << " ms";
        EXPECT_EQ(call.seconds, seen.seconds) << "at " << seen.now_ms << " ms";
    }
}

using enum progress_call_kind;
// samples: records, console record, activity, console selection
INSTANTIATE_TEST_SUITE_P(
    Silences, ProgressWatch,
    ::testing::Values(
        progress_case{"idle", {{0, {1, 0, 1, false}, wait, 0}, {4900, {1, 0, 1, false}, wait, 0},
                               {5000, {1, 0, 1, false}, stuck, 5}}},
        progress_case{"a_new_record", {{4000, {2, 0, 1, false}, wait, 0}, {8900, {2, 0, 1, false}, wait, 0},
                                       {9000, {2, 0, 1, false}, stuck, 5}}},
        progress_case{"working", {{4000, {0, 0, 2, false}, wait, 0}, {5000, {0, 0, 3, false}, still_working, 5},
                                  {6000, {0, 0, 4, false}, wait, 0}, {7500, {0, 0, 5, false}, still_working, 7},
                                  {25000, {0, 0, 6, false}, stuck, 25}}},
        progress_case{"paused_reader", {{100, {1, 2, 1, false}, wait, 0}, {5100, {1, 2, 1, false}, reader_waiting, 5},
                                        {20000, {1, 2, 1, false}, wait, 0}, {24000, {1, 0, 1, false}, wait, 0},
                                        {25000, {1, 0, 1, false}, stuck, 5}}},
        progress_case{"console_selection", {{4000, {0, 0, 0, true}, wait, 0}, {8000, {0, 0, 0, true}, wait, 0},
                                            {12000, {0, 0, 0, false}, wait, 0}, {13000, {0, 0, 0, false}, stuck, 5}}}),
    [](const ::testing::TestParamInfo<progress_case>& silence) { return std::string(silence.param.name); });

}  // namespace
}  // namespace kestrum::watch
