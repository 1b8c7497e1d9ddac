#include "checks/addin_activation.h"
#include "tests/unit/fake_com_runtime.h"
#include "tests/unit/recording_log.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrum::checks {
namespace {

using testing::fake_com_runtime;
using testing::recording_log;
using Strings = std::vector<std::string>;

TEST(AddinActivation, CreatesTheAddinByItsProgIdAndTearsDownReleaseFirst) {
    fake_com_runtime com;
    recording_log log;
    run_status status;

    auto addin = activate_addin(log.logger(), com, status);
    ASSERT_TRUE(addin.has_value());
    EXPECT_EQ(com.resolved_prog_id, L"Pexlo.PowerPoint.Addin");
    EXPECT_EQ(com.addin.references(), 2);
    EXPECT_TRUE(log.records().empty());
    EXPECT_FALSE(status.failed());
    EXPECT_EQ(addin->connect_interfaces().extensibility, E_NOINTERFACE);
    EXPECT_EQ(com.addin.references(), 2) << "what the questions took is given back at once";

    addin->tear_down();
    EXPECT_EQ(com.events, (Strings{"initialize", "resolve", "create", "release addin", "uninitialize"}));
    EXPECT_EQ(com.addin.references(), 1);

    addin->tear_down();
    EXPECT_EQ(com.events.size(), 5u) << "a second teardown must do nothing";
}

struct failure_case {
    const char* name;
    HRESULT initialize;
    HRESULT resolve;
    HRESULT create;
    Strings calls;
    const char* record;
};

void PrintTo(const failure_case& value, std::ostream* out) { *out << value.name; }

class AddinActivationFailure : public ::testing::TestWithParam<failure_case> {};

TEST_P(AddinActivationFailure, WritesOneErrorWithTheCodeAndReleasesNothing) {
    const failure_case& expected = GetParam();
    fake_com_runtime com;
    com.initialize_result = expected.initialize;
    com.resolve_result = expected.resolve;
    com.create_result = expected.create;
    recording_log log;
    run_status status;

    {
        auto addin = activate_addin(log.logger(), com, status);
        EXPECT_FALSE(addin.has_value());
    }

    EXPECT_EQ(log.records(), Strings{expected.record});
    EXPECT_TRUE(status.failed());
    EXPECT_EQ(com.events, expected.calls) << "no Release and no CoUninitialize on a failure path";
    EXPECT_EQ(com.addin.references(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    EachStage, AddinActivationFailure,
    ::testing::Values(
        failure_case{"initialize", RPC_E_CHANGED_MODE, S_OK, S_OK, {"initialize"},
                     "[error] Error (HRESULT=0x80010106): Failed to initialize COM."},
        failure_case{"resolve", S_OK, CO_E_CLASSSTRING, S_OK, {"initialize", "resolve"},
                     "[error] Error (HRESULT=0x800401F3): Failed to get class ID (CLSID) for "
                     "'Pexlo.PowerPoint.Addin' object."},
        failure_case{"create", S_FALSE, S_OK, static_cast<HRESULT>(0x80131515L), {"initialize", "resolve", "create"},
                     "[error] Error (HRESULT=0x80131515): Failed to create instance of 'Pexlo.PowerPoint.Addin' "
                     "object."}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(AddinActivation, SuccessWithoutAnObjectIsACreationFailure) {
    fake_com_runtime com;
    com.create_yields_object = false;
    recording_log log;
    run_status status;

    EXPECT_FALSE(activate_addin(log.logger(), com, status).has_value());
    EXPECT_EQ(log.records(), Strings{"[error] Error (HRESULT=0x80004003): Failed to create instance of "
                                     "'Pexlo.PowerPoint.Addin' object."});
    EXPECT_EQ(status.code(), E_POINTER);
    EXPECT_EQ(com.events, (Strings{"initialize", "resolve", "create"}));
}

TEST(AddinActivation, ThreadAlreadyInASingleThreadedApartmentCannotJoinTheMultithreadedOne) {
    Strings records;
    HRESULT recorded = S_OK;
    // A fresh thread, so the test runner's own thread keeps its apartment.
    std::thread([&] {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        recording_log log;
        run_status status;
        EXPECT_FALSE(activate_addin(log.logger(), platform::system_com_runtime(), status).has_value());
        records = log.records();
        recorded = status.code();
        ::CoUninitialize();
    }).join();

    EXPECT_EQ(records, Strings{"[error] Error (HRESULT=0x80010106): Failed to initialize COM."});
    EXPECT_EQ(recorded, RPC_E_CHANGED_MODE);
}

}  // namespace
}  // namespace kestrum::checks
