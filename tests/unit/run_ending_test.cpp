#include "watch/console_interrupt.h"
#include "watch/log_keeper.h"
#include "watch/run_ending.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(RunStep, IsNamedByTheLastSectionTheLogReached) {
    const std::string banner = record("[info] Pexlo Kestrum v1") + record("[info] ");
    const std::string created = banner + record("[info] Successfully created Pexlo PowerPoint Addin object.");
    const std::string listing = created + record("[info] Listing .NET assemblies loaded by Pexlo add-in:");
    EXPECT_EQ(step_of_run(banner), "creating the add-in");
    EXPECT_EQ(step_of_run(created + record("[info]   C:\\a.dll")), "listing the modules");
    EXPECT_EQ(step_of_run(listing), "listing the .NET assemblies or releasing the add-in");
}

}  // namespace
}  // namespace kestrum::watch
