#include "reports/click_to_run.h"
#include "reports/disabled_items.h"
#include "reports/load_conclusion.h"
#include "reports/office_policies.h"
#include "reports/powerpoint_view.h"
#include "reports/server_signature.h"
#include "reports/trust_center.h"
#include "tests/unit/fake_file_facts.h"
#include "tests/unit/fake_process_context.h"
#include "tests/unit/fake_platform_facts.h"
#include "tests/unit/fake_registry.h"
#include "tests/unit/recording_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrum::reports {
namespace {

using Bytes = std::vector<BYTE>;

void put_dword(Bytes& bytes, DWORD value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<BYTE>(value >> shift));
    }
}

// A DisabledItems record; |path_bytes| and |name_bytes| as stored when given.
Bytes record(const std::wstring& path, const std::wstring& name, DWORD path_bytes = 0, DWORD name_bytes = 0) {
    Bytes bytes;
    put_dword(bytes, 1);
    put_dword(bytes, path_bytes ? path_bytes : static_cast<DWORD>((path.size() + 1) * 2));
    put_dword(bytes, name_bytes ? name_bytes : static_cast<DWORD>((name.size() + 1) * 2));
    for (const std::wstring& text : {path, name}) {
        for (const wchar_t unit : text + L'\0') {
            bytes.push_back(static_cast<BYTE>(unit));
            bytes.push_back(static_cast<BYTE>(unit >> 8));
        }
    }
    return bytes;
}

struct decoder_row {
    const char* name;
    Bytes value;
    bool decoded;
    std::wstring path, item_name;
};

class DisabledItemDecoder : public ::testing::TestWithParam<decoder_row> {};

TEST_P(DisabledItemDecoder, ReadsOnlyWhatTheRecordHolds) {
    const std::optional<disabled_item> item = decode_disabled_item(GetParam().value);
    ASSERT_EQ(item.has_value(), GetParam().decoded);
    if (item) {
        EXPECT_EQ(item->kind, 1U);
        EXPECT_EQ(item->path, GetParam().path);
        EXPECT_EQ(item->name, GetParam().item_name);
    }
}

const std::wstring dll = L"c:\\pexlo\\addin.dll";
INSTANTIATE_TEST_SUITE_P(
    Rows, DisabledItemDecoder,
    ::testing::Values(decoder_row{"whole", record(dll, L"Pexlo Add-in"), true, dll, L"Pexlo Add-in"},
                      decoder_row{"empty_name", record(dll, L""), true, dll, L""},
                      decoder_row{"shorter_than_its_numbers", Bytes(11, 0), false, L"", L""},
                      decoder_row{"path_past_the_end", record(dll, L"x", 0xFFFFFFFE, 4), false, L"", L""},
                      decoder_row{"lengths_that_wrap_around", record(dll, L"x", 0xFFFFFFFE, 0xFFFFFFFE), false, L"",
                                  L""},
                      decoder_row{"odd_path_length", record(dll, L"x", 37), false, L"", L""},
                      decoder_row{"unterminated_name_ends_at_the_record", record(dll, L"ab", 0, 4), true, dll, L"ab"},
                      decoder_row{"null_inside_the_path_is_kept", record(dll + L'\0' + L"junk", L"x"), true,
                                  dll + L'\0' + L"junk", L"x"}),
    [](const auto& row) { return std::string(row.param.name); });

struct match_row {
    const char* name;
    bool managed;
    std::vector<std::wstring> friendly_names;
    std::wstring path, item_name;
    item_match expected;
};

class DisabledItemMatch : public ::testing::TestWithParam<match_row> {};

TEST_P(DisabledItemMatch, NamesTheAddInOnlyByWhatOfficeMatches) {
    const addin_identity addin{GetParam().managed ? L"C:\\Pexlo\\Pexlo.dll" : dll, GetParam().managed,
                               GetParam().friendly_names};
    EXPECT_EQ(match_addin({1, GetParam().path, GetParam().item_name}, addin), GetParam().expected);
}

const std::wstring mscoree = L"c:\\windows\\system32\\mscoree.dll";
const std::vector<std::wstring> pexlo = {L"Pexlo Add-in"};
INSTANTIATE_TEST_SUITE_P(
    Rows, DisabledItemMatch,
    ::testing::Values(
        match_row{"whole_path_ignoring_case", false, pexlo, L"C:\\PEXLO\\ADDIN.DLL", L"x", item_match::names},
        match_row{"path_up_to_a_null", false, pexlo, dll + L'\0' + L"junk", L"x", item_match::other},
        match_row{"its_name_on_another_path", false, pexlo, L"c:\\old\\addin.dll", L"Pexlo Add-in", item_match::maybe},
        match_row{"mscoree_with_its_name", true, pexlo, mscoree, L"Pexlo Add-in", item_match::names},
        match_row{"mscoree_with_the_prog_id", true, {}, mscoree, L"Pexlo.PowerPoint.Addin", item_match::names},
        match_row{"mscoree_of_another_add_in", true, pexlo, mscoree, L"Other", item_match::other},
        match_row{"managed_name_on_another_path", true, pexlo, L"c:\\old\\shim.dll", L"Pexlo Add-in",
                  item_match::maybe}),
    [](const auto& row) { return std::string(row.param.name); });

struct conclusion_row {
    const char* name;
    load_facts facts;
    std::wstring expected;
};

class LoadConclusion : public ::testing::TestWithParam<conclusion_row> {};

TEST_P(LoadConclusion, GivesTheFirstReasonThatApplies) {
    EXPECT_EQ(load_conclusion(GetParam().facts), GetParam().expected);
}

load_facts registered(std::optional<DWORD> user, std::optional<DWORD> machine = 3) {
    load_facts facts;
    facts.powerpoint_found = true;
    facts.per_user = {user.has_value() || !machine, user};
    facts.per_machine = {machine.has_value(), machine};
    return facts;
}

template <typename Change>
load_facts with(load_facts facts, Change change) {
    change(facts);
    return facts;
}

const std::wstring will_not = L"PowerPoint will not try to load the add-in when it starts: ";
const std::wstring will = L"PowerPoint will try to load the add-in when it starts.";
const std::wstring cannot_tell = L"Whether PowerPoint loads the add-in when it starts cannot be told here: ";
const std::wstring inactive = L"; it is listed as inactive under File > Options > Add-ins > Manage: COM Add-ins";
const std::wstring disabled_items_reason =
    L"it is in PowerPoint's disabled items (File > Options > Add-ins > Manage: Disabled Items)";
const std::wstring signed_by = L"add-ins must be signed by a trusted publisher and ";
const auto signature = [](auto& f, signature_state found) { f.signature = {found, L"Pexlo\nLtd", CERT_E_EXPIRED}; };
const auto doubting = [](auto& f) {
    f.click_to_run = {true, 2};
    f.per_user.present = true;
    f.doubtful_items = {{L"Pexlo Add-in", L"c:\\old\\addin.dll"}};
    f.partly_read_disabled_items = {L"16.0"};
    f.unreadable_policy_keys = {L"HKEY_CURRENT_USER\\Policies"};
};
const std::wstring all_doubts =
    L"its per-machine LoadBehavior is 3 but Click-to-Run's copy says 2, and which one PowerPoint reads is not "
    L"documented; its per-user entry has no LoadBehavior number, and what PowerPoint does then is not documented; "
    L"the disabled item 'Pexlo Add-in' (c:\\old\\addin.dll) may be this add-in; the disabled items of "
    L"PowerPoint 16.0 could not all be read; the policies under HKEY_CURRENT_USER\\Policies could not be read.";
INSTANTIATE_TEST_SUITE_P(
    Rows, LoadConclusion,
    ::testing::Values(
        conclusion_row{"not_found", with(registered(2), [](auto& f) { f.powerpoint_found = false; }),
                       L"PowerPoint was not found, so whether it loads the add-in is not known."},
        conclusion_row{"loads_at_startup", registered(std::nullopt), will},
        conclusion_row{"every_reason_in_order",
                       with(registered(2),
                            [](auto& f) {
                                f.disable_all.policy = f.listed_disabled = f.restricted_to_list = true;
                                f.require_signature.user = f.in_disabled_items = true;
                                signature(f, signature_state::not_signed);
                                f.object.extensibility = E_NOINTERFACE;
                            }),
                       will_not +
                           L"a policy disables all add-ins; a policy disables it; a policy blocks add-ins "
                           L"that are not on its managed list; " +
                           signed_by + L"its server is not signed; " + disabled_items_reason +
                           L"; its LoadBehavior is 2 (per user, over 3 per machine)" + inactive +
                           L"; its object does not implement IDTExtensibility2."},
        conclusion_row{"user_disabled_all_in_the_trust_center",
                       with(registered(3), [](auto& f) { f.disable_all.user = true; }),
                       will_not + L"the user disabled all add-ins in the Trust Center."},
        conclusion_row{"policy_set_off_decides_over_the_user",
                       with(registered(3),
                            [](auto& f) {
                                f.disable_all = {false, true}, f.require_signature = {false, true},
                                signature(f, signature_state::not_signed);
                            }),
                       will},
        conclusion_row{"restricted_but_user_decides",
                       with(registered(3), [](auto& f) { f.restricted_to_list = f.listed_user_decides = true; }), will},
        conclusion_row{"mscoree_signature_not_valid",
                       with(registered(3),
                            [](auto& f) {
                                f.require_signature.policy = f.managed = true, signature(f, signature_state::not_valid);
                            }),
                       will_not + signed_by + L"mscoree.dll has a signature that is not valid."},
        conclusion_row{
            "signer_not_trusted",
            with(registered(3),
                 [](auto& f) { f.require_signature.user = true, signature(f, signature_state::not_trusted); }),
            will_not + signed_by + L"its server is signed by 'Pexlo<U+000A>Ltd', who is not a trusted publisher."},
        conclusion_row{"trusted_or_unread_signature_passes",
                       with(registered(3),
                            [](auto& f) { f.require_signature.policy = true, signature(f, signature_state::trusted); }),
                       will},
        conclusion_row{"not_registered_with_the_other_view_s_entry_and_disabled",
                       with(registered(std::nullopt, std::nullopt),
                            [](auto& f) {
                                f.per_user.present = false, f.in_disabled_items = true, f.other_view_entry_bits = L"32";
                            }),
                       will_not +
                           L"it is not registered with PowerPoint (its per-machine entry is in the 32-bit "
                           L"registry view only); " +
                           disabled_items_reason + L"."},
        conclusion_row{"listed_enabled_skips_disabled_items_and_load_behavior",
                       with(registered(0), [](auto& f) { f.in_disabled_items = f.listed_enabled = true; }), will},
        conclusion_row{"listed_enabled_keeps_only_the_policy_doubt",
                       with(registered(std::nullopt, 7), [](auto& f) { doubting(f), f.listed_enabled = true; }),
                       cannot_tell + L"the policies under HKEY_CURRENT_USER\\Policies could not be read."},
        conclusion_row{"user_value_equal_to_the_machine_s", registered(8, 8),
                       will_not + L"its LoadBehavior is 8" + inactive + L"."},
        conclusion_row{"on_demand_is_not_inactive", registered(std::nullopt, 9), will_not + L"its LoadBehavior is 9."},
        conclusion_row{"user_entry_alone_without_number", registered(std::nullopt, std::nullopt),
                       cannot_tell + L"its per-user entry has no LoadBehavior number, and what PowerPoint does then "
                                     L"is not documented."},
        conclusion_row{"machine_entry_without_number",
                       with(registered(std::nullopt, 3), [](auto& f) { f.per_machine.load_behavior.reset(); }),
                       will_not + L"its LoadBehavior is missing or not a number."},
        conclusion_row{"undocumented_value", registered(std::nullopt, 7),
                       cannot_tell + L"its LoadBehavior 7 is not a documented value."},
        conclusion_row{"every_doubt_in_order", with(registered(std::nullopt), doubting), cannot_tell + all_doubts},
        conclusion_row{"a_reason_wins_over_doubts",
                       with(registered(std::nullopt), [](auto& f) { doubting(f), f.listed_disabled = true; }),
                       will_not + L"a policy disables it."},
        conclusion_row{"implemented_interface_passes",
                       with(registered(3), [](auto& f) { f.object.extensibility = S_OK; }),
                       will},
        conclusion_row{"click_to_run_when_no_machine_entry",
                       with(registered(std::nullopt, std::nullopt),
                            [](auto& f) {
                                f.per_user.present = false, f.click_to_run = {true, 16};
                            }),
                       will}),
    [](const auto& row) { return std::string(row.param.name); });

struct signature_row {
    const char* name;
    std::optional<platform::signature_check> check;
    std::wstring expected;
};

class SignatureWording : public ::testing::TestWithParam<signature_row> {};

TEST_P(SignatureWording, TrustsOnlyAVerifiedSignatureOfATrustedPublisher) {
    testing::fake_file_signatures signatures;
    signatures.files[L"C:\\a.dll"] = GetParam().check;
    EXPECT_EQ(signature_text(read_server_signature(signatures, L"C:\\a.dll")), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SignatureWording,
    ::testing::Values(
        signature_row{"none", platform::signature_check{TRUST_E_NOSIGNATURE, {}, false}, L"not signed"},
        signature_row{"trusted", platform::signature_check{ERROR_SUCCESS, L"Pexlo Ltd", true},
                      L"signed by 'Pexlo Ltd', a trusted publisher"},
        signature_row{"verified_but_not_trusted", platform::signature_check{ERROR_SUCCESS, L"Pexlo'\nLtd", false},
                      L"signed by 'Pexlo'<U+000A>Ltd', not a trusted publisher"},
        signature_row{"untrusted_root_is_not_valid",
                      platform::signature_check{static_cast<LONG>(CERT_E_UNTRUSTEDROOT), L"Pexlo Ltd", true},
                      L"signature not valid (HRESULT=0x800B0109)"},
        signature_row{"not_read", std::nullopt, L"signature not read"}),
    [](const auto& row) { return std::string(row.param.name); });

struct asked_row {
    const char* name;
    HKEY root;
    std::wstring key;  // below Software, above Office
    DWORD type;
    BYTE value;
    bool asked;
};

class SignatureAskedFor : public ::testing::TestWithParam<asked_row> {};

TEST_P(SignatureAskedFor, OnlyByASwitchSetToOneInAScopePowerPointReads) {
    testing::fake_registry registry;
    registry.set_raw(GetParam().root, platform::registry_view::bits32,
                     L"Software\\" + GetParam().key + L"\\Office\\16.0\\PowerPoint\\Security", L"NoTBPromptUnsignedAddin",
                     GetParam().type, {GetParam().value, 0, 0, 0});
    load_facts facts;
    read_office_policies(registry, {L"16.0"}, platform::registry_view::bits32, facts);
    read_trust_center(registry, {L"16.0"}, platform::registry_view::bits32, facts);
    EXPECT_EQ(facts.signature_asked(), GetParam().asked);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SignatureAskedFor,
    ::testing::Values(asked_row{"cloud_policy", HKEY_CURRENT_USER, L"Policies\\Microsoft\\Cloud", REG_DWORD, 1, true},
                      asked_row{"machine_policy", HKEY_LOCAL_MACHINE, L"Policies\\Microsoft", REG_DWORD, 1, true},
                      asked_row{"trust_center", HKEY_CURRENT_USER, L"Microsoft", REG_DWORD, 1, true},
                      asked_row{"trust_center_off", HKEY_CURRENT_USER, L"Microsoft", REG_DWORD, 0, false},
                      asked_row{"not_a_number", HKEY_CURRENT_USER, L"Policies\\Microsoft", REG_BINARY, 1, false},
                      asked_row{"machine_settings_are_no_scope", HKEY_LOCAL_MACHINE, L"Microsoft", REG_DWORD, 1,
                                false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ClickToRun, NamesTheChannelsMicrosoftNamesAndNoOther) {
    EXPECT_EQ(channel_name(L"file:///C:/pr/55336B82-A18D-4DD6-B5F6-9E5095C314A6"), L"Monthly Enterprise Channel");
    EXPECT_EQ(channel_name(L"5440fd1f-7ecb-4221-8110-145efaa6372f"), L"Beta Channel");
    EXPECT_EQ(channel_name(L"file:///C:/pr/5440fd1f-7ecb-4221-8110-145efaa6372f/x"), L"");
}

TEST(PowerPointView, ReadsAThirtyTwoBitPowerPointsViewAndNamesBadValues) {
    using platform::registry_view;
    testing::fake_registry registry;
    testing::fake_process_context context;
    testing::fake_file_facts files;
    const std::wstring exe = L"C:\\Office\\POWERPNT.EXE";
    Bytes header(0x40 + 6, 0);
    header[0] = 'M', header[1] = 'Z', header[0x3C] = 0x40, header[0x40] = 'P', header[0x41] = 'E';
    header[0x44] = 0x4C, header[0x45] = 0x01;
    files.files[exe] = {header, platform::file_version{15, 0, 4420, 1017}};
    registry.set_text(HKEY_LOCAL_MACHINE, registry_view::bits32,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\powerpnt.exe", L"",
                      L"\"" + exe + L"\"");
    const std::wstring entry = L"Software\\Microsoft\\Office\\PowerPoint\\Addins\\Pexlo.PowerPoint.Addin";
    registry.set_text(HKEY_LOCAL_MACHINE, registry_view::bits32, entry, L"LoadBehavior", L"3");
    registry.set_text(HKEY_LOCAL_MACHINE, registry_view::bits32, entry, L"FriendlyName", L"Pexlo\nAdd-in");
    const std::wstring items = L"Software\\Microsoft\\Office\\15.0\\PowerPoint\\Resiliency\\DisabledItems";
    registry.set_raw(HKEY_CURRENT_USER, registry_view::bits32, items, L"5B1\t", REG_BINARY, Bytes(7, 0));
    registry.set_raw(HKEY_CURRENT_USER, registry_view::bits32, items, L"6C2", REG_BINARY,
                     record(dll, L"Pexlo\nAdd-in"));
    registry.set_raw(HKEY_CURRENT_USER, registry_view::bits32,
                     L"Software\\Policies\\Microsoft\\Office\\15.0\\PowerPoint\\Resiliency\\AddinList",
                     L"Pexlo.PowerPoint.Addin", REG_DWORD, {1, 0, 0, 0});
    const std::wstring configuration = L"Software\\Microsoft\\Office\\ClickToRun\\Configuration";
    for (const auto& [name, text] : {std::pair{L"VersionToReport", L"16.0.17928.20114"}, {L"Platform", L"x86"},
                                     {L"ProductReleaseIds", L"O365ProPlusRetail"},
                                     {L"CDNBaseUrl", L"file:///C:/pr/55336b82-a18d-4dd6-b5f6-9e5095c314a6"}}) {
        registry.set_text(HKEY_LOCAL_MACHINE, registry_view::bits64, configuration, name, text);
    }
    registry.set_text(HKEY_LOCAL_MACHINE, registry_view::bits64,
                      L"Software\\Microsoft\\Office\\15.0\\ClickToRun\\Configuration", L"UpdateChannel", L"C:\\Ch");
    const std::wstring copy_2013 =
        L"Software\\Microsoft\\Office\\15.0\\ClickToRun\\REGISTRY\\MACHINE\\Software\\Microsoft\\Office\\PowerPoint\\Addins\\"
        L"Pexlo.PowerPoint.Addin";
    registry.set_raw(HKEY_LOCAL_MACHINE, registry_view::bits64, copy_2013, L"LoadBehavior", REG_DWORD, {3, 0, 0, 0});
    const std::wstring server = L"Software\\Classes\\CLSID\\{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F01}\\InprocServer32";
    // Windows keeps one ProgID key for both views.
    registry.set_text(HKEY_LOCAL_MACHINE, platform::this_edition_view(),
                      L"Software\\Classes\\Pexlo.PowerPoint.Addin\\CLSID", L"", L"{3E1A52C4-0B7D-4F29-8A61-5C0D9E2B7F01}");
    registry.set_text(HKEY_LOCAL_MACHINE, registry_view::bits32, server, L"", L"mscoree.dll");
    registry.set_text(HKEY_LOCAL_MACHINE, registry_view::bits32, server, L"CodeBase", L"file:///C:/Pexlo/Addin.dll");
    files.files[L"C:\\Pexlo\\Addin.dll"] = {};
    files.files[L"C:\\Windows\\SysWOW64\\mscoree.dll"] = {};
    registry.set_raw(HKEY_CURRENT_USER, registry_view::bits32, L"Software\\Microsoft\\Office\\15.0\\PowerPoint\\Security",
                     L"RequireAddinSig", REG_DWORD, {1, 0, 0, 0});
    testing::fake_file_signatures signatures;
    signatures.files[L"C:\\Pexlo\\Addin.dll"] = platform::signature_check{ERROR_SUCCESS, L"Pexlo", false};
    testing::fake_running_processes processes;
    processes.running[L"POWERPNT.EXE"] = 4242;
    testing::recording_log log;

    report_powerpoint_view(log.logger(), registry, context, files, signatures, processes,
                           read_addin_registration(registry, context, files), {S_OK, true});

    const std::string mine = platform::this_edition_view() == registry_view::bits64 ? "kestrum.exe" : "kestrum32.exe";
    std::vector<std::string> expected = {
        "[info] ",
        "[info] PowerPoint's view of 'Pexlo.PowerPoint.Addin':",
        "[info]   PowerPoint: C:\\Office\\POWERPNT.EXE (32-bit, version 15.0.4420.1017)",
        "[info]   PowerPoint is 32-bit and loads 32-bit add-ins: this run of kestrum.exe checked the 64-bit "
        "registration. Run kestrum32.exe.",
        "[info]   Office: Click-to-Run 16.0.17928.20114 (x86), O365ProPlusRetail, update channel Monthly Enterprise "
        "Channel",
        "[info]   Office: Click-to-Run unknown (unknown), unknown, update channel C:\\Ch",
        "[info]   Add-in entry per user: none",
        "[info]   Add-in entry per machine, in HKEY_LOCAL_MACHINE\\" + std::string(entry.begin(), entry.end()) +
            " (32-bit registry view):",
        "[info]     LoadBehavior: not a number but REG_SZ", "[info]     FriendlyName: Pexlo<U+000A>Add-in",
        "[info]   Add-in entry per machine for Office 2013's Click-to-Run, in HKEY_LOCAL_MACHINE\\" +
            std::string(copy_2013.begin(), copy_2013.end()) + ":",
        "[info]     LoadBehavior: 3 (loads at startup)",
        "[info]   Server: C:\\Pexlo\\Addin.dll, no version information, signed by 'Pexlo', not a trusted publisher",
        "[info]   Signature checked by PowerPoint: C:\\Windows\\SysWOW64\\mscoree.dll, not signed",
        "[info]   Disabled item 5B1<U+0009> of PowerPoint 15.0: cannot be read (7 bytes)",
        "[info]   Disabled item of PowerPoint 15.0: c:\\pexlo\\addin.dll (Pexlo<U+000A>Add-in)",
        "[info]   Disabled items of PowerPoint 15.0: 1 that cannot be read",
        "[info]   Policy (HKCU): this add-in is always enabled (Resiliency\\AddinList\\Pexlo.PowerPoint.Addin = 1)",
        "[info]   Trust Center (this user): add-ins must be signed by a trusted publisher (Security\\RequireAddinSig = 1)",
        "[info]   PowerPoint is running now (process 4242): it writes its add-in settings back when it closes, so "
        "change them with PowerPoint closed.",
        "[info]   The add-in's object implements IDTExtensibility2, which PowerPoint needs to connect it.",
        "[info]   It also implements IRibbonExtensibility, through which PowerPoint asks for its ribbon.",
        "[info]   PowerPoint will not try to load the add-in when it starts: add-ins must be signed by a trusted "
        "publisher and mscoree.dll is not signed."};
    if (mine == "kestrum32.exe") {
        expected.erase(expected.begin() + 3);
    }
    EXPECT_EQ(log.records(), expected);
}

TEST(PowerPointView, ListsDisabledItemsOnceEachUpToTwentyAndTakesNoFileForWhatItIsNot) {
    const platform::registry_view view = platform::this_edition_view();
    testing::fake_registry registry;
    testing::fake_file_facts files;
    files.files[L"C:\\Office\\POWERPNT.EXE"] = {{'M', 'Z'}, std::nullopt};
    registry.set_text(HKEY_LOCAL_MACHINE, view, L"Software\\Microsoft\\Office\\16.0\\PowerPoint\\InstallRoot", L"Path",
                      L"C:\\Office");
    const std::wstring entry = L"Software\\Microsoft\\Office\\PowerPoint\\Addins\\Pexlo.PowerPoint.Addin";
    registry.set_text(HKEY_CURRENT_USER, view, entry, L"Manifest", L"C:\\Pexlo\\con.vsto");
    const std::wstring resiliency = L"Software\\Microsoft\\Office\\16.0\\PowerPoint\\Resiliency";
    registry.set_text(HKEY_CURRENT_USER, view, resiliency + L"\\DoNotDisableAddinList", L"Pexlo.PowerPoint.Addin",
                      L"1");
    const std::wstring items = resiliency + L"\\DisabledItems";
    registry.set_raw(HKEY_CURRENT_USER, view, items, L"0", REG_BINARY,
                     record(dll + L'\0' + L"junk", L"Pexlo.PowerPoint.Addin"));
    registry.set_raw(HKEY_CURRENT_USER, view, items, L"1 again", REG_BINARY,
                     record(dll + L'\0' + L"junk", L"Pexlo.PowerPoint.Addin"));
    std::vector<std::string> expected = {
        "[info] ",
        "[info] PowerPoint's view of 'Pexlo.PowerPoint.Addin':",
        "[info]   PowerPoint: C:\\Office\\POWERPNT.EXE is not a program (no PE header)",
        "[info]   Add-in entry per user, in HKEY_CURRENT_USER\\" + std::string(entry.begin(), entry.end()) + ":",
        "[info]     LoadBehavior: missing",
        "[info]     Manifest: C:\\Pexlo\\con.vsto (not a file)",
        "[info]   Add-in entry per machine: none",
        "[info]   Disabled item of PowerPoint 16.0: c:\\pexlo\\addin.dll<U+0000>junk (Pexlo.PowerPoint.Addin)"};
    for (int item = 10; item < 35; ++item) {
        const std::wstring path = L"c:\\old\\" + std::to_wstring(item) + L".dll";
        registry.set_raw(HKEY_CURRENT_USER, view, items, L"2 " + std::to_wstring(item), REG_BINARY,
                         record(path, L"Pexlo.PowerPoint.Addin"));
        if (item < 29) {
            expected.push_back("[info]   Disabled item of PowerPoint 16.0: c:\\old\\" + std::to_string(item) +
                               ".dll (Pexlo.PowerPoint.Addin)");
        }
    }
    registry.set_raw(HKEY_CURRENT_USER, view, items, L"3 unreadable", REG_SZ, Bytes(50, 0));
    testing::fake_process_context context;
    testing::fake_file_signatures signatures;
    testing::fake_running_processes processes;
    testing::recording_log log;

    report_powerpoint_view(log.logger(), registry, context, files, signatures, processes,
                           read_addin_registration(registry, context, files), {});

    expected.insert(expected.end(),
                    {"[info]   \xE2\x80\xA6 and 7 more disabled items",
                     "[info]   Disabled items of PowerPoint 16.0: 1 that cannot be read",
                     "[info]   Resiliency\\DoNotDisableAddinList\\Pexlo.PowerPoint.Addin is not a number but REG_SZ",
                     "[info]   PowerPoint was not found, so whether it loads the add-in is not known."});
    EXPECT_EQ(log.records(), expected);
}

}  // namespace
}  // namespace kestrum::reports
