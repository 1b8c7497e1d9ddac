#include "reports/powerpoint_crash_reports.h"
#include "reports/wer_report.h"
#include "tests/unit/fake_file_facts.h"
#include "tests/unit/fake_folder_listing.h"
#include "tests/unit/recording_log.h"

#include <fmt/xchar.h>
#include <gtest/gtest.h>

namespace kestrum::reports {
namespace {

using Bytes = std::vector<BYTE>;
using Strings = std::vector<std::string>;
constexpr platform::file_time now = 134413686000000000;  // 2026-12-10 09:30 UTC

std::wstring hours_ago(platform::file_time hours) { return std::to_wstring(now - hours * 36000000000); }

// A Report.wer holding |text|: UTF-16LE, after a byte-order mark unless not |bom|.
Bytes wer(const std::wstring& text, bool bom = true) {
    Bytes bytes = bom ? Bytes{0xFF, 0xFE} : Bytes{};
    for (const wchar_t unit : text) {
        bytes.insert(bytes.end(), {static_cast<BYTE>(unit), static_cast<BYTE>(unit >> 8U)});
    }
    return bytes;
}

std::wstring report(const std::wstring& type, const std::wstring& time, const std::wstring& module = L"ntdll.dll",
                    const std::wstring& code = L"c0000005", const std::wstring& loaded = L"C:\\Windows\\ntdll.dll") {
    return fmt::format(
        L"Version=1\r\nEventType={}\r\nEventTime={}\r\nSig[1].Name=Application Version\r\nSig[1].Value="
        L"16.0.1\r\nSig[3].Name=Fault Module Name\r\nSig[3].Value={}\r\nSig[4].Name=Fault Module "
        L"Version\r\nSig[4].Value=2.1.0.0\r\nSig[6].Name=Exception Code\r\nSig[6].Value={}\r\nSig[7]."
        L"Name=Exception Offset\r\nSig[7].Value=00001a2b\r\nLoadedModule[0]=C:\\Office\\POWERPNT.EXE\r\n"
        L"LoadedModule[1]={}\r\n",
        type, time, module, code, loaded);
}

const std::wstring folder = L"C:\\WER\\AppCrash_POWERPNT.EXE_1";
const std::wstring crashed = L" PowerPoint 16.0.1 crashed in ";
const std::wstring unreadable = L"  " + folder + L": cannot be read (";

struct wer_row {
    const char* name;
    Bytes bytes;
    std::wstring record;  // empty: older than the days shown
    bool managed = false;
    bool cut = false;
};

class WerReport : public ::testing::TestWithParam<wer_row> {};

TEST_P(WerReport, SaysWhatTheReportSaysOfTheAddin) {
    testing::fixed_clock clock(now);
    const addin_identity addin{L"C:\\Pexlo\\PexloSampleAddin.dll", GetParam().managed, {}};
    const wer_entry entry = describe_wer_report(GetParam().bytes, GetParam().cut, folder, addin, clock, now);
    EXPECT_EQ(entry.record, GetParam().record);
    EXPECT_EQ(entry.kind, GetParam().record.empty()                   ? wer_entry_kind::old
                          : GetParam().record.starts_with(unreadable) ? wer_entry_kind::unreadable
                                                                      : wer_entry_kind::recent);
}

const std::wstring whole = report(L"APPCRASH", hours_ago(1));
const std::wstring truncated = whole.substr(0, whole.find(L"ntdll") + 2);
INSTANTIATE_TEST_SUITE_P(
    Rows, WerReport,
    ::testing::Values(
        wer_row{"fault_in_the_loaded_addin",
                wer(report(L"APPCRASH", hours_ago(1), L"PexloSampleAddin.dll", L"c0000005",
                           L"c:\\x\\PEXLOSAMPLEADDIN.DLL")),
                L"  2026-12-10 08:30" + crashed +
                    L"PexloSampleAddin.dll 2.1.0.0 (exception c0000005, offset 00001a2b); the add-in was loaded; the "
                    L"fault is in the add-in"},
        wer_row{"fault_elsewhere_escaped", wer(report(L"BEX64", hours_ago(2), L"nt\x1b.dll", L"c0000409")),
                L"  2026-12-10 07:30" + crashed + L"nt<U+001B>.dll 2.1.0.0 (exception c0000409, offset 00001a2b)"},
        wer_row{"hang_with_the_addin_loaded",
                wer(report(L"AppHangB1", hours_ago(3), L"", L"", L"D:\\Copy\\PexloSampleAddin.dll")),
                L"  2026-12-10 06:30 PowerPoint 16.0.1 stopped responding; the add-in was loaded"},
        wer_row{"dotnet_exception_with_a_managed_addin",
                wer(report(L"APPCRASH", hours_ago(4), L"KERNELBASE.dll", L"E0434352")),
                L"  2026-12-10 05:30" + crashed +
                    L"KERNELBASE.dll 2.1.0.0 (exception E0434352, offset 00001a2b); a .NET exception was not handled",
                true},
        wer_row{"dotnet_exception_with_a_native_addin", wer(report(L"APPCRASH", hours_ago(4), L"clr.dll", L"e0434352")),
                L"  2026-12-10 05:30" + crashed + L"clr.dll 2.1.0.0 (exception e0434352, offset 00001a2b)"},
        wer_row{"missing_names",
                wer(L"EventType=APPCRASH\r\nEventTime=" + hours_ago(5) +
                    L"\r\nSig[0].Name=Fault Module Name\r\nSig[1].Value=x.dll\r\nSig[2].Name=Exception Code"),
                L"  2026-12-10 04:30 PowerPoint ? crashed in ? ? (exception ?, offset ?)"},
        wer_row{"truncated_in_a_value", wer(truncated),
                L"  2026-12-10 08:30" + crashed + L"nt ? (exception ?, offset ?)"},
        wer_row{"cut_at_the_read_bound", wer(truncated),
                L"  2026-12-10 08:30" + crashed + L"? ? (exception ?, offset ?)", false, true},
        wer_row{"no_byte_order_mark", wer(report(L"APPCRASH", hours_ago(1)), false),
                unreadable + L"Report.wer is not UTF-16 text with a byte-order mark)"},
        wer_row{"empty", Bytes{}, unreadable + L"Report.wer is missing, empty or cannot be opened)"},
        wer_row{"no_time", wer(L"EventType=APPCRASH\r\n"), unreadable + L"no EventTime)"},
        wer_row{"zero_time", wer(report(L"APPCRASH", L"0")), unreadable + L"EventTime 0 is not a time)"},
        wer_row{"time_not_a_number", wer(report(L"APPCRASH", L"1344\t")),
                unreadable + L"EventTime 1344<U+0009> is not a time)"},
        wer_row{"time_past_what_a_number_holds", wer(report(L"APPCRASH", L"99999999999999999999")),
                unreadable + L"EventTime 99999999999999999999 is not a time)"},
        wer_row{"time_in_the_far_future", wer(report(L"APPCRASH", L"410000000000000000")),
                unreadable + L"EventTime 410000000000000000 is later than now)"},
        wer_row{"older_than_the_days_shown", wer(report(L"APPCRASH", hours_ago(24 * (recent_days + 1)))), L""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PowerPointCrashReports, ListsNewestFirstThenWhatCannotBeRead) {
    const std::wstring local = L"C:\\Users\\u\\AppData\\Local\\Microsoft\\Windows\\WER\\";
    testing::fake_folder_listing folders;
    testing::fake_file_facts files;
    const std::wstring archive = L"C:\\ProgramData\\Microsoft\\Windows\\WER\\ReportArchive\\";
    for (const auto& [name, text] : {std::pair{L"AppCrash_POWERPNT.EXE_a", report(L"APPCRASH", hours_ago(5))},
                                     {L"apphang_powerpnt.exe_b", report(L"AppHangB1", hours_ago(1))},
                                     {L"AppCrash_WINWORD.EXE_c", report(L"APPCRASH", hours_ago(1))},
                                     {L"AppCrash_POWERPNT.EXE_old", report(L"APPCRASH", hours_ago(9999))}}) {
        folders.folders[archive.substr(0, archive.size() - 1)].emplace_back(name);
        files.files[archive + name + L"\\Report.wer"] = {wer(text), {}};
    }
    folders.errors[local + L"ReportArchive"] = ERROR_ACCESS_DENIED;
    folders.folders[local + L"ReportQueue"] = {L"AppCrash_POWERPNT.EXE_d"};
    testing::fixed_clock clock(now);
    testing::recording_log log;

    report_powerpoint_crash_reports(log.logger(), {L"C:\\ProgramData", L"C:\\Users\\u\\AppData\\Local"}, {}, folders,
                                    files, clock);

    EXPECT_EQ(log.records(),
              (Strings{"[info] ", "[info] PowerPoint's crash reports (Windows Error Reporting):",
                       "[info]   C:\\Users\\u\\AppData\\Local\\Microsoft\\Windows\\WER\\ReportArchive: cannot be read "
                       "(error 5)",
                       "[info]   2026-12-10 08:30 PowerPoint 16.0.1 stopped responding",
                       "[info]   2026-12-10 04:30 PowerPoint 16.0.1 crashed in ntdll.dll 2.1.0.0 (exception "
                       "c0000005, offset 00001a2b)",
                       "[info]   C:\\Users\\u\\AppData\\Local\\Microsoft\\Windows\\WER\\ReportQueue\\AppCrash_POWERPNT."
                       "EXE_d: cannot be read (Report.wer is missing, empty or cannot be opened)"}));
    // Both names in each folder there; one look in the folder that is not.
    EXPECT_EQ(folders.listings, 6);
}

TEST(PowerPointCrashReports, ShowsTenAndLooksAtNoMoreThanItsBound) {
    testing::fake_folder_listing folders;
    testing::fake_file_facts files;
    const std::wstring queue = L"C:\\ProgramData\\Microsoft\\Windows\\WER\\ReportQueue";
    for (platform::file_time hours = 1; hours <= 205; ++hours) {
        const std::wstring name = L"AppCrash_POWERPNT.EXE_" + std::to_wstring(hours);
        folders.folders[queue].push_back(name);
        files.files[queue + L"\\" + name + L"\\Report.wer"] = {wer(report(L"APPCRASH", hours_ago(hours))), {}};
    }
    testing::fixed_clock clock(now);
    testing::recording_log log;

    report_powerpoint_crash_reports(log.logger(), {L"C:\\ProgramData", L""}, {}, folders, files, clock);

    ASSERT_EQ(log.records().size(), 14U);
    EXPECT_EQ(log.records()[2].substr(0, 25) + log.records()[11].substr(8, 17),
              "[info]   2026-12-10 08:30 2026-12-09 23:30");
    EXPECT_EQ(Strings(log.records().end() - 2, log.records().end()),
              (Strings{"[info]   190 more reports, not shown",
                       "[info]   more than 200 report folders: the rest were not looked at"}));
}

}  // namespace
}  // namespace kestrum::reports
