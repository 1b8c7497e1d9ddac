#include "checks/runtime_listing.h"
#include "tests/unit/recording_log.h"
#include "tests/unit/stand_in_clr.h"

#include <gtest/gtest.h>

namespace kestrum::checks {
namespace {

using testing::recording_log;
using testing::stand_in_clr;
using Strings = std::vector<std::string>;

struct listing {
    Strings records;
    run_status status;
};

// Lists one stand-in scenario and checks that the walk gave back every
// reference it took and destroyed every array it received, once.
listing list_scenario(const wchar_t* scenario) {
    stand_in_clr clr(scenario);
    recording_log log;
    listing result;
    list_managed_runtimes(log.logger(), clr, result.status);
    result.records = log.records();
    EXPECT_EQ(clr.outstanding_references(), 0) << "references left unreleased";
    EXPECT_EQ(clr.live_objects(), 0);
    EXPECT_EQ(clr.meta_hosts_released_early(), 0) << "the enumerator is released before the meta-host";
    EXPECT_EQ(clr.arrays_destroyed(), clr.arrays_created()) << "every array destroyed exactly once";
    return result;
}

const Strings one_runtime_records = {
    "[info]   Running using CLR Runtime v4.0.30319",
    "[info] ",
    "[info] List of assemblies in default AppDomain:",
    "[info]   mscorlib, Version=4.0.0.0, Culture=neutral, PublicKeyToken=b77a5c561934e089",
    "[info]     Path: C:\\Windows\\Microsoft.NET\\Framework64\\v4.0.30319\\mscorlib.dll",
    "[info]   Pexlo.PowerPoint.Addin, Version=3.2.1.0, Culture=neutral, PublicKeyToken=null",
    "[info]     Path: C:\\Program Files\\Pexlo\\PowerPoint Add-in\\Pexlo.PowerPoint.Addin.dll",
    "[info]   System, Version=4.0.0.0, Culture=neutral, PublicKeyToken=b77a5c561934e089",
    "[info]     Path: "
    "C:\\Windows\\Microsoft.Net\\assembly\\GAC_MSIL\\System\\v4.0_4.0.0.0__b77a5c561934e089\\System.dll",
    "[info]   System.Core, Version=4.0.0.0, Culture=neutral, PublicKeyToken=b77a5c561934e089",
    "[info]     Path: C:\\Windows\\Microsoft.Net\\assembly\\GAC_MSIL\\System.Core\\v4.0_4.0.0.0__b77a5c561934e089\\"
    "System.Core.dll",
};

// The runtime's own array (VT_DISPATCH with its IID), a VT_UNKNOWN one and
// one from SafeArrayCreateEx all hold interface pointers.
class InterfaceArray : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(InterfaceArray, OneRuntimeListsItsVersionAndEveryAssemblyWithItsPath) {
    const listing result = list_scenario(GetParam());
    EXPECT_EQ(result.records, one_runtime_records);
    EXPECT_FALSE(result.status.failed());
}

INSTANTIATE_TEST_SUITE_P(EachShape, InterfaceArray,
                         ::testing::Values(L"one_runtime_already_loaded", L"unknown_array_already_loaded",
                                           L"dispatch_array_already_loaded"));

TEST(RuntimeListing, NoRuntimeWritesNothing) {
    const listing result = list_scenario(L"no_runtime");
    EXPECT_TRUE(result.records.empty());
    EXPECT_FALSE(result.status.failed());
}

TEST(RuntimeListing, AFailedRuntimeFollowedByAWorkingOneStillFailsTheRun) {
    const listing result = list_scenario(L"failed_then_working_already_loaded");
    EXPECT_TRUE(result.status.failed());
    EXPECT_EQ(result.status.code(), static_cast<HRESULT>(0x80131707L));
    ASSERT_GE(result.records.size(), 3u);
    EXPECT_EQ(result.records[0], "[info]   Running using CLR Runtime v2.0.50727");
    EXPECT_EQ(result.records[1], "[info]   Running using CLR Runtime v4.0.30319");
}

TEST(RuntimeListing, InMemoryAssemblyWithoutLocationIsNeitherReportedNorAFailure) {
    const listing result = list_scenario(L"location_not_supported_already_loaded");
    EXPECT_FALSE(result.status.failed()) << "0x80131515 from a location query is normal";
    ASSERT_FALSE(result.records.empty());
    EXPECT_EQ(result.records.back(),
              "[info]   Pexlo.Dynamic.Proxies, Version=0.0.0.0, Culture=neutral, PublicKeyToken=null");
}

TEST(RuntimeListing, NullStringsFromTheAssemblyAreWrittenAsEmptyText) {
    const listing result = list_scenario(L"null_bstrs_already_loaded");
    EXPECT_NE(std::find(result.records.begin(), result.records.end(), "[info]   "), result.records.end());
    EXPECT_NE(std::find(result.records.begin(), result.records.end(), "[info]     Path: "), result.records.end());
    EXPECT_FALSE(result.status.failed());
}

TEST(RuntimeListing, AFailingEnumeratorEndsTheWalkWithoutTouchingTheStatus) {
    const listing result = list_scenario(L"enumerator_fails_already_loaded");
    EXPECT_EQ(result.records, one_runtime_records);
    EXPECT_FALSE(result.status.failed());
}

class MalformedAssemblyArray : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(MalformedAssemblyArray, IsOneErrorRecordAndTheArrayIsStillDestroyed) {
    const listing result = list_scenario(GetParam());
    EXPECT_EQ(result.records, (Strings{"[info]   Running using CLR Runtime v4.0.30319",
                                       "[error]     Failed to read the assembly list. HRESULT=0x80070057"}));
    EXPECT_EQ(result.status.code(), E_INVALIDARG);
}

INSTANTIATE_TEST_SUITE_P(EachShape, MalformedAssemblyArray,
                         ::testing::Values(L"bstr_array_already_loaded", L"variant_array_already_loaded",
                                           L"two_dimensional_array_already_loaded"));

class EveryScenario : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(EveryScenario, ReleasesEveryReferenceAndDestroysEveryArrayOnce) {
    // list_scenario checks the balance; here every path through the walk.
    list_scenario(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    AllPaths, EveryScenario,
    ::testing::Values(
        L"no_runtime", L"one_runtime_already_loaded", L"two_runtimes_already_loaded", L"fail_create_instance",
        L"fail_enumerate", L"fail_query_runtime_info_already_loaded", L"fail_get_version_string_already_loaded",
        L"fail_get_interface_already_loaded", L"fail_start_already_loaded", L"fail_get_default_domain_already_loaded",
        L"fail_query_app_domain_already_loaded", L"fail_get_assemblies_already_loaded", L"null_enumerator",
        L"null_array_already_loaded", L"empty_array_already_loaded", L"lower_bound_5_already_loaded",
        L"null_elements_already_loaded", L"not_an_assembly_already_loaded", L"name_failure_already_loaded",
        L"location_not_supported_already_loaded", L"location_failure_already_loaded", L"empty_location_already_loaded",
        L"null_bstrs_already_loaded", L"unknown_array_already_loaded", L"dispatch_array_already_loaded",
        L"bstr_array_already_loaded", L"variant_array_already_loaded", L"two_dimensional_array_already_loaded",
        L"non_ascii_already_loaded", L"platform_text_already_loaded", L"failed_then_working_already_loaded",
        L"long_version_string_already_loaded", L"start_returns_s_false_already_loaded",
        L"enumerator_not_s_ok_already_loaded", L"enumerator_s_false_with_element_already_loaded",
        L"enumerator_fails_already_loaded", L"name_failure_lower_bound_5_already_loaded"));

}  // namespace
}  // namespace kestrum::checks
