#include "app/check_driver.h"
#include "tests/unit/fake_com_runtime.h"
#include "tests/unit/fake_file_facts.h"
#include "tests/unit/fake_folder_listing.h"
#include "tests/unit/fake_platform_facts.h"
#include "tests/unit/fake_process_modules.h"
#include "tests/unit/fake_process_context.h"
#include "tests/unit/fake_registry.h"
#include "tests/unit/recording_log.h"
#include "tests/unit/stand_in_clr.h"

#include <gtest/gtest.h>

#include <utility>

namespace kestrum::app {
namespace {

using testing::fake_com_runtime;
using testing::fake_file_facts;
using testing::fake_file_signatures;
using testing::fake_running_processes;
using testing::fake_process_modules;
using testing::fake_registry;
using testing::recording_log;
using testing::stand_in_clr;
using testing::unreachable_clr;
using Strings = std::vector<std::string>;

const Strings banner = {"[info] Pexlo Kestrum v1", "[info] Copyright (c) Pexlo. All rights reserved.", "[info] "};
// PowerPoint's view and crash reports, before the verdict, of a registry that
// knows no Office and an environment that names no folders.
const Strings powerpoint_view = {
    "[info] ", "[info] PowerPoint's view of 'Pexlo.PowerPoint.Addin':", "[info]   PowerPoint: not found on this machine",
    "[info]   Add-in entry per user: none", "[info]   Add-in entry per machine: none",
    "[info]   PowerPoint was not found, so whether it loads the add-in is not known.",
    "[info] ", "[info] PowerPoint's crash reports (Windows Error Reporting):", "[info]   none kept on this machine"};

Strings with_view_before_verdict(Strings records, const Strings& before_conclusion = {}) {
    records.insert(records.end() - 1, powerpoint_view.begin(), powerpoint_view.end());
    const auto conclusion = std::find(records.begin(), records.end(), powerpoint_view[5]);
    records.insert(conclusion, before_conclusion.begin(), before_conclusion.end());
    return records;
}

Strings after_banner(const recording_log& log) {
    const Strings& records = log.records();
    EXPECT_GE(records.size(), banner.size());
    EXPECT_EQ(Strings(records.begin(), records.begin() + 3), banner);
    return Strings(records.begin() + 3, records.end());
}

// The platform of one run: nothing registered, no Office, no files, and
// the hosting layer |Clr| stands in for.
template <typename Clr>
struct run_fakes {
    template <typename... ClrArguments>
    explicit run_fakes(ClrArguments&&... arguments) : clr(std::forward<ClrArguments>(arguments)...) {}

    platform_services services() {
        return {com, process, clr, registry, context, files, folders, clock, signatures, running};
    }

    fake_com_runtime com;
    fake_process_modules process;
    Clr clr;
    fake_registry registry;
    testing::fake_process_context context;
    fake_file_facts files;
    testing::fake_folder_listing folders;
    testing::fixed_clock clock{0};
    fake_file_signatures signatures;
    fake_running_processes running;
};

TEST(CheckDriver, UnregisteredAddinEndsAtTheVerdictWithTheSameCode) {
    run_fakes<unreachable_clr> fakes(E_FAIL);
    fakes.com.resolve_result = CO_E_CLASSSTRING;
    recording_log log;

    handoff::run_progress progress{};
    run_checks(log.logger(), fakes.services(), handoff::publisher(&progress));

    EXPECT_EQ(progress.step.load(), static_cast<std::uint32_t>(handoff::run_step::writing_reports));
    EXPECT_EQ(after_banner(log),
              with_view_before_verdict({"[error] Error (HRESULT=0x800401F3): Failed to get class ID (CLSID) for "
                       "'Pexlo.PowerPoint.Addin' object.",
                       "[info] ", "[info] Registration of 'Pexlo.PowerPoint.Addin':",
                       "[info]   ProgID: not registered, neither per user (HKEY_CURRENT_USER\\Software\\Classes) nor "
                       "per machine (HKEY_LOCAL_MACHINE\\Software\\Classes)",
                       "[error] An error occurred. HRESULT=0x800401F3"}));
    EXPECT_TRUE(fakes.process.table_sizes_seen.empty()) << "no listing runs after a failed activation";
    EXPECT_EQ(fakes.com.events, (Strings{"initialize", "resolve"}));
}

TEST(CheckDriver, SuccessfulRunListsHoldsTheAddinThenTearsDownBeforeDone) {
    run_fakes<stand_in_clr> fakes(L"no_runtime");
    fakes.process.add(L"C:\\tools\\kestrum.exe");
    recording_log log;

    handoff::run_progress progress{};
    run_checks(log.logger(), fakes.services(), handoff::publisher(&progress));

    EXPECT_EQ(progress.step.load(), static_cast<std::uint32_t>(handoff::run_step::writing_reports));
    EXPECT_EQ(after_banner(log),
              with_view_before_verdict({"[info] Successfully created Pexlo PowerPoint Addin object.", "[info] ",
                       "[info] Listing all modules in process:", "[info]   C:\\tools\\kestrum.exe", "[info] ",
                       "[info] Listing .NET assemblies loaded by Pexlo add-in:", "[info] Done."},
                  {"[info]   The add-in's object does not implement IDTExtensibility2 (HRESULT=0x80004002): "
                   "PowerPoint cannot connect it as a COM add-in."}));
    EXPECT_EQ(fakes.com.events, (Strings{"initialize", "resolve", "create", "release addin", "uninitialize"}));
    EXPECT_EQ(fakes.clr.outstanding_references(), 0);
}

TEST(CheckDriver, UnreachableHostingLayerMakesTheVerdictAnError) {
    run_fakes<unreachable_clr> fakes(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    recording_log log;

    run_checks(log.logger(), fakes.services());

    EXPECT_EQ(log.records().back(), "[error] An error occurred. HRESULT=0x8007007E");
}

}  // namespace
}  // namespace kestrum::app
